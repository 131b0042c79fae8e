#pragma once
// A small HTTP/1.0 server on 127.0.0.1 for the tests: answers each path with a chosen
// status and body, or never answers at all, or sends the body slowly.

#include <QByteArray>
#include <QMap>
#include <QTcpServer>
#include <QUrl>

namespace lm::test {

class HttpServer : public QObject {
    Q_OBJECT
  public:
    struct Reply {
        int status = 200;
        QByteArray body;
        bool silent = false;      // accept the connection, never answer
        int spreadMs = 0;         // the body goes out in small pieces over this time
        qsizetype goQuietAt = -1; // after this many bytes of the body nothing more is sent
    };

    explicit HttpServer(quint16 port = 0);
    QUrl base() const;
    void serve(const QString& path, const QByteArray& body, int status = 200);
    void hang(const QString& path);
    void trickle(const QString& path, const QByteArray& body, int spreadMs,
                 qsizetype goQuietAt = -1);
    QStringList requested;

  private:
    void answer(QTcpSocket* socket);
    QTcpServer server_;
    QMap<QString, Reply> replies_;
};

} // namespace lm::test

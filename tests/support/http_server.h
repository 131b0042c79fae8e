#pragma once
// A small HTTP/1.0 server on 127.0.0.1 for the tests: answers each path with a chosen
// status and body, or never answers at all.

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
        bool silent = false; // accept the connection, never answer
    };

    explicit HttpServer(quint16 port = 0);
    QUrl base() const;
    void serve(const QString& path, const QByteArray& body, int status = 200);
    void hang(const QString& path);
    QStringList requested;

  private:
    void answer(QTcpSocket* socket);
    QTcpServer server_;
    QMap<QString, Reply> replies_;
};

} // namespace lm::test

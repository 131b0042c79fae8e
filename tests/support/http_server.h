#pragma once
// A small HTTP/1.0 server on 127.0.0.1 for the tests: answers each path with a chosen
// status and body, or sends the body slowly, or falls silent part-way.

#include <QMap>
#include <QTcpServer>
#include <QUrl>

namespace lm::test {

class HttpServer : public QObject {
    Q_OBJECT
  public:
    explicit HttpServer(quint16 port = 0);
    QUrl base() const {
        return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(server_.serverPort()));
    }
    void serve(const QString& path, const QByteArray& body, int status = 200) {
        replies_[path] = {status, body, 0, -1};
    }
    // The body goes out in pieces over `spreadMs`; after `goQuietAt` bytes, nothing more.
    void trickle(const QString& path, const QByteArray& body, int spreadMs,
                 qsizetype goQuietAt = -1) {
        replies_[path] = {200, body, spreadMs, goQuietAt};
    }
    QStringList requested;

  private:
    struct Reply {
        int status;
        QByteArray body;
        int spreadMs;
        qsizetype goQuietAt;
    };
    void answer(QTcpSocket* socket);
    QTcpServer server_;
    QMap<QString, Reply> replies_;
};

} // namespace lm::test

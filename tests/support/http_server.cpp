#include "http_server.h"

#include <QTcpSocket>

namespace lm::test {

HttpServer::HttpServer(quint16 port) {
    server_.listen(QHostAddress::LocalHost, port);
    connect(&server_, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = server_.nextPendingConnection()) {
            socket->setParent(this);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { answer(socket); });
        }
    });
}

QUrl HttpServer::base() const {
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(server_.serverPort()));
}

void HttpServer::serve(const QString& path, const QByteArray& body, int status) {
    replies_[path] = Reply{status, body, false};
}

void HttpServer::hang(const QString& path) {
    replies_[path] = Reply{200, {}, true};
}

void HttpServer::answer(QTcpSocket* socket) {
    QByteArray request = socket->property("request").toByteArray() + socket->readAll();
    socket->setProperty("request", request);
    if (!request.contains("\r\n\r\n"))
        return;
    const QString path = QString::fromLatin1(request.split(' ').value(1));
    requested.append(path);
    const Reply reply = replies_.value(path, Reply{404, "<html>not found</html>", false});
    if (reply.silent)
        return;
    QByteArray response = "HTTP/1.0 " + QByteArray::number(reply.status) + " X\r\n";
    response += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
    response += "Connection: close\r\n\r\n" + reply.body;
    socket->write(response);
    socket->disconnectFromHost();
}

} // namespace lm::test

#include "http_server.h"

#include <QTcpSocket>
#include <QTimer>

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

void HttpServer::answer(QTcpSocket* socket) {
    const QByteArray request = socket->property("request").toByteArray() + socket->readAll();
    socket->setProperty("request", request);
    if (!request.contains("\r\n\r\n"))
        return;
    const QString path = QString::fromLatin1(request.split(' ').value(1));
    requested.append(path);
    const Reply reply = replies_.value(path, Reply{404, "<html>not found</html>", 0, -1});
    socket->write("HTTP/1.0 " + QByteArray::number(reply.status) + " X\r\nContent-Length: " +
                  QByteArray::number(reply.body.size()) + "\r\nConnection: close\r\n\r\n");
    // A piece every 50 ms (all at once when not spread); closed once the body is out.
    const qsizetype piece =
        reply.spreadMs > 0 ? (reply.body.size() + reply.spreadMs / 50) / (reply.spreadMs / 50 + 1)
                           : reply.body.size();
    const qsizetype end = reply.goQuietAt < 0 ? reply.body.size() : reply.goQuietAt;
    auto* timer = new QTimer(socket);
    connect(timer, &QTimer::timeout, socket, [socket, timer, reply, piece, end] {
        const qsizetype sent = socket->property("sent").toLongLong();
        const qsizetype n = std::min(piece, end - sent);
        socket->write(reply.body.mid(sent, n));
        socket->setProperty("sent", sent + n);
        if (sent + n < end)
            return;
        timer->stop();
        if (end == reply.body.size())
            socket->disconnectFromHost();
    });
    timer->start(reply.spreadMs > 0 ? 50 : 0);
}

} // namespace lm::test

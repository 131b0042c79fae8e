#include "http_server.h"

#include <QTcpSocket>
#include <QTimer>

#include <algorithm>

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

void HttpServer::trickle(const QString& path, const QByteArray& body, int spreadMs,
                         qsizetype goQuietAt) {
    replies_[path] = Reply{200, body, false, spreadMs, goQuietAt};
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
    QByteArray head = "HTTP/1.0 " + QByteArray::number(reply.status) + " X\r\n";
    head += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
    head += "Connection: close\r\n\r\n";
    if (reply.spreadMs <= 0) {
        socket->write(head + reply.body);
        socket->disconnectFromHost();
        return;
    }
    socket->write(head);
    // A piece every 50 ms; the socket is closed once the whole body is out.
    const int steps = std::max(1, reply.spreadMs / 50);
    const qsizetype piece = (reply.body.size() + steps - 1) / steps;
    const qsizetype end = reply.goQuietAt < 0 ? reply.body.size() : reply.goQuietAt;
    auto* timer = new QTimer(socket);
    connect(timer, &QTimer::timeout, socket, [socket, timer, reply, piece, end] {
        const qsizetype sent = socket->property("sent").toLongLong();
        const qsizetype n = std::min(piece, end - sent);
        socket->write(reply.body.mid(sent, n));
        socket->setProperty("sent", sent + n);
        if (sent + n >= end) {
            timer->stop();
            if (end == reply.body.size())
                socket->disconnectFromHost();
        }
    });
    timer->start(50);
}

} // namespace lm::test

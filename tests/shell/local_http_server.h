#pragma once
// A tiny HTTP/1.1 server on 127.0.0.1 for browser tests: records every path
// asked for and answers from a handler, one response per connection, with
// the handler's status line and headers.

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <functional>

struct HttpReply {
  HttpReply(QByteArray body_, QByteArray contentType_ = "text/html; charset=gbk",
            QByteArray extraHeaders_ = {}, QByteArray status_ = "200 OK")
      : body(std::move(body_)),
        contentType(std::move(contentType_)),
        extraHeaders(std::move(extraHeaders_)),
        status(std::move(status_)) {}
  QByteArray body;
  QByteArray contentType;
  QByteArray extraHeaders;  // each line ending in CR LF
  QByteArray status;        // code and reason, "503 Service Unavailable"
  int delayMs = 0;          // how long the answer takes once the request is in
};

class LocalHttpServer : public QObject {
 public:
  using Handler = std::function<HttpReply(const QByteArray& path)>;

  explicit LocalHttpServer(Handler handler) : handler_(std::move(handler)) {
    server_.listen(QHostAddress::LocalHost, 0);
    port_ = server_.serverPort();
    QObject::connect(&server_, &QTcpServer::newConnection, this, [this] {
      while (QTcpSocket* socket = server_.nextPendingConnection()) Serve(socket);
    });
  }

  QByteArray Origin() const { return "http://127.0.0.1:" + QByteArray::number(port_); }
  // The network goes down: connections are refused until it comes back on
  // the same port.
  void GoDown() { server_.close(); }
  bool ComeBack() { return server_.listen(QHostAddress::LocalHost, port_); }
  const QList<QByteArray>& Paths() const { return paths_; }

 private:
  void Serve(QTcpSocket* socket) {
    QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
      buffers_[socket] += socket->readAll();
      const QByteArray& request = buffers_[socket];
      if (!request.contains("\r\n\r\n")) return;
      const QList<QByteArray> first = request.left(request.indexOf("\r\n")).split(' ');
      const QByteArray path = first.value(1);
      buffers_.remove(socket);
      if (path == "/favicon.ico") {
        socket->write("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
      } else {
        paths_ << path;
        const HttpReply reply = handler_(path);
        const QByteArray answer =
            "HTTP/1.1 " + reply.status + "\r\nContent-Type: " + reply.contentType +
            "\r\nContent-Length: " + QByteArray::number(reply.body.size()) +
            "\r\nConnection: close\r\n" + reply.extraHeaders + "\r\n" + reply.body;
        if (reply.delayMs > 0) {
          QTimer::singleShot(reply.delayMs, socket, [socket, answer] {
            socket->write(answer);
            socket->disconnectFromHost();
          });
          return;
        }
        socket->write(answer);
      }
      socket->disconnectFromHost();
    });
  }

  QTcpServer server_;
  quint16 port_ = 0;
  Handler handler_;
  QList<QByteArray> paths_;
  QHash<QTcpSocket*, QByteArray> buffers_;
};

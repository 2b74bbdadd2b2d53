#include "HLVLoopbackServer.h"

#include <QHash>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <memory>
#include <condition_variable>
#include <mutex>
#include <stdexcept>

using Reply = HLVLoopbackServer::Reply;
using Request = HLVLoopbackServer::Request;

Reply Reply::bytes(const QByteArray& body, const QByteArray& contentType, int status)
{
    Reply reply;
    reply.status = status;
    reply.body = body;
    reply.headers.append({"Content-Type", contentType});
    return reply;
}

Reply Reply::json(const QByteArray& body, int status)
{
    return bytes(body, "application/json; charset=utf-8", status);
}

Reply Reply::xml(const QByteArray& body, int status)
{
    return bytes(body, "application/xml; charset=utf-8", status);
}

Reply Reply::withStatus(int status, const QByteArray& body)
{
    return bytes(body, "text/plain", status);
}

Reply Reply::redirect(const QByteArray& location, int status)
{
    Reply reply;
    reply.status = status;
    reply.headers.append({"Location", location});
    return reply;
}

Reply Reply::drop()
{
    Reply reply;
    reply.kind = Kind::Drop;
    return reply;
}

Reply Reply::noAnswer()
{
    Reply reply;
    reply.kind = Kind::NoAnswer;
    return reply;
}

Reply Reply::truncated(const QByteArray& body)
{
    Reply reply = bytes(body, "application/octet-stream");
    reply.kind = Kind::Truncate;
    return reply;
}

Reply Reply::trickle(const QByteArray& body, std::chrono::milliseconds interval)
{
    Reply reply = bytes(body, "application/json");
    reply.kind = Kind::Trickle;
    reply.interval = interval;
    return reply;
}

Reply Reply::withHeader(const QByteArray& name, const QByteArray& value) const
{
    Reply reply = *this;
    reply.headers.append({name, value});
    return reply;
}

Reply Reply::delayed(std::chrono::milliseconds by) const
{
    Reply reply = *this;
    reply.delay = by;
    return reply;
}

QByteArray Request::header(const QByteArray& name) const
{
    for (const auto& pair : headers) {
        if (pair.first.compare(name, Qt::CaseInsensitive) == 0)
            return pair.second;
    }
    return QByteArray();
}

namespace {

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 307: return "Temporary Redirect";
    case 400: return "Bad Request";
    case 404: return "Not Found";
    case 429: return "Too Many Requests";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Status";
    }
}

void answer(QTcpSocket* socket, const Reply& reply)
{
    switch (reply.kind) {
    case Reply::Kind::NoAnswer:
        return;
    case Reply::Kind::Drop:
        socket->abort();
        return;
    case Reply::Kind::Answer:
    case Reply::Kind::Truncate:
    case Reply::Kind::Trickle: {
        QByteArray head = "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + reasonPhrase(reply.status) + "\r\n";
        for (const auto& [name, value] : reply.headers)
            head += name + ": " + value + "\r\n";
        head += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\nConnection: close\r\n\r\n";
        socket->write(head);
        if (reply.kind == Reply::Kind::Trickle) {
            auto* timer = new QTimer(socket);
            auto sent = std::make_shared<qsizetype>(0);
            QObject::connect(timer, &QTimer::timeout, socket, [socket, timer, sent, body = reply.body] {
                if (*sent >= body.size()) {
                    timer->stop();
                    socket->disconnectFromHost();
                    return;
                }
                socket->write(body.mid((*sent)++, 1));
            });
            timer->start(reply.interval);
            return;
        }
        if (reply.kind == Reply::Kind::Truncate)
            socket->write(reply.body.left(reply.body.size() / 2));
        else
            socket->write(reply.body);
        socket->disconnectFromHost();
        return;
    }
    }
}

// Parses the request line and headers; false while they are incomplete.
bool parseRequest(const QByteArray& buffer, Request& request)
{
    const qsizetype end = buffer.indexOf("\r\n\r\n");
    if (end < 0)
        return false;
    const QList<QByteArray> lines = buffer.left(end).split('\n');
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    request.method = requestLine.value(0);
    const QByteArray target = requestLine.value(1);
    const qsizetype question = target.indexOf('?');
    request.path = QString::fromLatin1(question < 0 ? target : target.left(question));
    request.query = question < 0 ? QString() : QString::fromLatin1(target.mid(question + 1));
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon > 0)
            request.headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
    }
    return true;
}

} // namespace

struct HLVLoopbackServer::Implementation
{
    QThread thread;
    QObject* context = nullptr;
    QTcpServer* server = nullptr;
    // Set on the server's thread, read on the test's: Qt's blocking call orders
    // the two, but in a way ThreadSanitizer cannot see.
    std::atomic<quint16> port{0};

    mutable std::mutex mutex;
    mutable std::condition_variable arrived;
    std::vector<Request> requests;
    QHash<QString, std::vector<Reply>> queryRoutes;
    QHash<QString, std::vector<Reply>> pathRoutes;
    Reply defaultReply = Reply::withStatus(404, "no reply for this address");

    ~Implementation()
    {
        if (context) {
            QMetaObject::invokeMethod(
                context,
                [this] {
                    delete context;   // closes the server and every open connection
                    context = nullptr;
                },
                Qt::BlockingQueuedConnection);
        }
        thread.quit();
        thread.wait();
    }

    static Reply take(std::vector<Reply>& replies)
    {
        Reply reply = replies.front();
        if (replies.size() > 1)
            replies.erase(replies.begin());
        return reply;
    }

    Reply replyFor(const Request& request)
    {
        std::lock_guard lock(mutex);
        requests.push_back(request);
        arrived.notify_all();
        auto exact = queryRoutes.find(request.path + QLatin1Char('?') + request.query);
        if (exact != queryRoutes.end() && !exact->empty())
            return take(*exact);
        auto byPath = pathRoutes.find(request.path);
        if (byPath != pathRoutes.end() && !byPath->empty())
            return take(*byPath);
        return defaultReply;
    }

    void accept()
    {
        while (server->hasPendingConnections()) {
            QTcpSocket* socket = server->nextPendingConnection();
            auto buffer = std::make_shared<QByteArray>();
            auto handled = std::make_shared<bool>(false);
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer, handled] {
                *buffer += socket->readAll();
                Request request;
                if (*handled || !parseRequest(*buffer, request))
                    return;
                *handled = true;
                request.arrival = std::chrono::steady_clock::now();
                const Reply reply = replyFor(request);
                if (reply.delay.count() > 0)
                    QTimer::singleShot(reply.delay, socket, [socket, reply] { answer(socket, reply); });
                else
                    answer(socket, reply);
            });
        }
    }
};

HLVLoopbackServer::HLVLoopbackServer() : _d(std::make_unique<Implementation>())
{
    _d->thread.setObjectName(QStringLiteral("HLVLoopbackServer"));
    _d->context = new QObject;
    _d->context->moveToThread(&_d->thread);
    _d->thread.start();
    Implementation* d = _d.get();
    QMetaObject::invokeMethod(
        d->context,
        [d] {
            d->server = new QTcpServer(d->context);
            if (d->server->listen(QHostAddress::LocalHost, 0))
                d->port = d->server->serverPort();
            QObject::connect(d->server, &QTcpServer::newConnection, d->server, [d] { d->accept(); });
        },
        Qt::BlockingQueuedConnection);
    if (d->port == 0)
        throw std::runtime_error("the loopback server cannot listen");
}

HLVLoopbackServer::~HLVLoopbackServer() = default;

quint16 HLVLoopbackServer::port() const
{
    return _d->port;
}

QString HLVLoopbackServer::baseAddress() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(_d->port.load());
}

void HLVLoopbackServer::setReply(const QString& path, const Reply& reply)
{
    std::lock_guard lock(_d->mutex);
    _d->pathRoutes[path] = {reply};
}

void HLVLoopbackServer::setReply(const QString& path, const QString& query, const Reply& reply)
{
    setReplies(path, query, {reply});
}

void HLVLoopbackServer::setReplies(const QString& path, const QString& query, const std::vector<Reply>& replies)
{
    std::lock_guard lock(_d->mutex);
    _d->queryRoutes[path + QLatin1Char('?') + query] = replies;
}

void HLVLoopbackServer::setDefaultReply(const Reply& reply)
{
    std::lock_guard lock(_d->mutex);
    _d->defaultReply = reply;
}

void HLVLoopbackServer::clearRequests()
{
    std::lock_guard lock(_d->mutex);
    _d->requests.clear();
}

std::vector<HLVLoopbackServer::Request> HLVLoopbackServer::requests() const
{
    std::lock_guard lock(_d->mutex);
    return _d->requests;
}

bool HLVLoopbackServer::waitForRequests(size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(_d->mutex);
    return _d->arrived.wait_for(lock, timeout, [&] { return _d->requests.size() >= count; });
}

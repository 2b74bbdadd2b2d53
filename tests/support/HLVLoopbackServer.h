#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <chrono>
#include <memory>
#include <vector>

// A small HTTP/1.1 server on 127.0.0.1 for tests that talk to a web service.
// It listens on a free port from construction to destruction, on its own thread,
// so the test's thread may block while it answers.
//
//     HLVLoopbackServer server;
//     server.setReply("/v2/lookup", HLVLoopbackServer::Reply::json(R"({"status":"ok"})"));
//     qputenv("CADRELLE_ACOUSTID_URL", server.baseAddress().toUtf8());
//     ... run the client ...
//     EXPECT_EQ(server.requests().at(0).query, "client=...&meta=recordings&...");
//
// Replies are chosen by path and raw query (exactly as sent, percent-encoding and
// all), then by path alone, then the default reply (404). A route may hold a
// sequence of replies, served in turn; its last reply then repeats. Every request
// is recorded with its path, raw query, headers and arrival time.
class HLVLoopbackServer
{
public:
    struct Reply
    {
        enum class Kind {
            Answer,      // status line, headers and the whole body
            Drop,        // close the connection without a word
            NoAnswer,    // keep the connection open and never answer
            Truncate,    // announce the whole body, send half of it, close
            Trickle,     // announce the whole body, then send it one byte per interval
        };
        Kind kind = Kind::Answer;
        int status = 200;
        QByteArray body;
        QList<QPair<QByteArray, QByteArray>> headers;
        std::chrono::milliseconds delay{0};   // before answering (or dropping)
        std::chrono::milliseconds interval{0};   // between the bytes of a trickle

        static Reply json(const QByteArray& body, int status = 200);
        static Reply xml(const QByteArray& body, int status = 200);
        static Reply bytes(const QByteArray& body, const QByteArray& contentType, int status = 200);
        static Reply withStatus(int status, const QByteArray& body = QByteArray());
        // A redirect to a path on this server or to any address.
        static Reply redirect(const QByteArray& location, int status = 302);
        static Reply drop();
        static Reply noAnswer();
        static Reply truncated(const QByteArray& body);
        static Reply trickle(const QByteArray& body, std::chrono::milliseconds interval);
        // The same reply with one more header ("Retry-After", "2").
        Reply withHeader(const QByteArray& name, const QByteArray& value) const;
        Reply delayed(std::chrono::milliseconds by) const;
    };

    struct Request
    {
        QByteArray method;
        QString path;     // as sent, before "?"
        QString query;    // as sent, after "?", without it; empty when none
        QList<QPair<QByteArray, QByteArray>> headers;
        std::chrono::steady_clock::time_point arrival;

        // The value of a header, compared without regard to case; empty when absent.
        QByteArray header(const QByteArray& name) const;
    };

    HLVLoopbackServer();
    ~HLVLoopbackServer();
    HLVLoopbackServer(const HLVLoopbackServer&) = delete;
    HLVLoopbackServer& operator=(const HLVLoopbackServer&) = delete;

    quint16 port() const;
    // "http://127.0.0.1:<port>", no trailing slash.
    QString baseAddress() const;

    void setReply(const QString& path, const Reply& reply);
    void setReply(const QString& path, const QString& query, const Reply& reply);
    void setReplies(const QString& path, const QString& query, const std::vector<Reply>& replies);
    void setDefaultReply(const Reply& reply);

    // The requests received so far, in arrival order.
    std::vector<Request> requests() const;
    // Forgets the requests received so far (a long-running client would otherwise grow the record).
    void clearRequests();
    // Waits until at least count requests have arrived; false on time-out.
    bool waitForRequests(size_t count, std::chrono::milliseconds timeout) const;

private:
    struct Implementation;
    std::unique_ptr<Implementation> _d;
};

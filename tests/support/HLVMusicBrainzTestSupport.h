#pragma once

#include "HLVLoopbackServer.h"

#include <QByteArray>
#include <QString>
#include <vector>

// Helpers for tests of the MusicBrainz clients.
namespace HLVMusicBrainzTestSupport {

// Makes the loopback server the MusicBrainz service: the configured address and
// the cached one, so serverAddress() and fallback() both answer it.
void useServer(const HLVLoopbackServer& server);

// Caches primary as serverAddress() and configures fallbackServer as the default,
// which fallback() then answers.
void useServers(const HLVLoopbackServer& primary, const HLVLoopbackServer& fallbackServer);

// Forgets the address and the environment setting.
void reset();

struct BadReply
{
    const char* name;
    HLVLoopbackServer::Reply reply;
};

// Replies a client must survive with a plain failure: not XML, cut-off XML, an
// error document, an empty body, an entity-expansion bomb, deep nesting, and a
// well-formed 5 MB document with nothing usable in it.
std::vector<BadReply> badReplies();

// The service's error document.
QByteArray errorDocument(const QString& text);

} // namespace HLVMusicBrainzTestSupport

#include "HLVMusicBrainzTestSupport.h"

#include "HLVMusicBrainzServer.h"

namespace HLVMusicBrainzTestSupport {

void useServer(const HLVLoopbackServer& server)
{
    qputenv("CADRELLE_MUSICBRAINZ_URL", server.baseAddress().toUtf8());
    HLVMusicBrainzServer::resetForTesting();
}

void useServers(const HLVLoopbackServer& primary, const HLVLoopbackServer& fallbackServer)
{
    useServer(primary);
    HLVMusicBrainzServer::serverAddress();
    qputenv("CADRELLE_MUSICBRAINZ_URL", fallbackServer.baseAddress().toUtf8());
}

void reset()
{
    qunsetenv("CADRELLE_MUSICBRAINZ_URL");
    HLVMusicBrainzServer::resetForTesting();
}

QByteArray errorDocument(const QString& text)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><error><text>" + text.toUtf8()
        + "</text><text>For usage, please see: https://musicbrainz.org/development/mmd</text></error>";
}

namespace {

QByteArray billionLaughs()
{
    QByteArray document = "<?xml version=\"1.0\"?>\n<!DOCTYPE metadata [\n<!ENTITY lol0 \"lol\">\n";
    for (int level = 1; level <= 9; ++level) {
        document += "<!ENTITY lol" + QByteArray::number(level) + " \"";
        for (int i = 0; i < 10; ++i)
            document += "&lol" + QByteArray::number(level - 1) + ";";
        document += "\">\n";
    }
    document += "]>\n<metadata><recording-list count=\"1\"><recording id=\"r\"><title>&lol9;</title>"
                "</recording></recording-list><artist-list count=\"1\"><artist id=\"a\"><name>&lol9;</name>"
                "</artist></artist-list><release-group-list><release-group id=\"g\" type=\"Album\">"
                "<title>&lol9;</title></release-group></release-group-list></metadata>";
    return document;
}

QByteArray deepNesting()
{
    // Well-formed, so only the depth can make it fail.
    const int depth = 100000;
    return "<metadata>" + QByteArray("<a>").repeated(depth) + QByteArray("</a>").repeated(depth) + "</metadata>";
}

QByteArray hugeDocument()
{
    QByteArray document = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
                          "<metadata xmlns=\"http://musicbrainz.org/ns/mmd-2.0#\"><annotation><text>";
    document += QByteArray(5 * 1024 * 1024, 'x');
    document += "</text></annotation></metadata>";
    return document;
}

} // namespace

std::vector<BadReply> badReplies()
{
    using Reply = HLVLoopbackServer::Reply;
    return {
        {"not XML", Reply::bytes("<html><body>Service Unavailable", "text/html")},
        {"cut-off XML", Reply::xml("<metadata><recording-list count=\"1\"><recording id=\"r\"><title>T")},
        {"error document", Reply::xml(errorDocument(QStringLiteral("Invalid query")))},
        {"empty body", Reply::xml(QByteArray())},
        {"entity bomb", Reply::xml(billionLaughs())},
        {"deep nesting", Reply::xml(deepNesting())},
        {"5 MB document", Reply::xml(hugeDocument())},
    };
}

} // namespace HLVMusicBrainzTestSupport

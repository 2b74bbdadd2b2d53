#include "HLVMusicBrainzTestSupport.h"
#include "HLVQueryEncoding.h"
#include "HLVXMLParser.h"

#include <QTemporaryFile>
#include <chrono>
#include <gtest/gtest.h>

namespace {

// Writes every event as one line, and stops at the element named abortAt.
class EventLog : public HLVXMLParserDelegate
{
public:
    void parserDidStartDocument() override { events << QStringLiteral("begin"); }
    void parserDidStartElement(const QString& name, const QXmlStreamAttributes& attributes) override
    {
        events << "<" + name + (attributes.hasAttribute(QLatin1String("id")) ? " " + attributes.value(QLatin1String("id")).toString() : QString());
        if (parser && name == abortAt)
            parser->abortParsing();
    }
    void parserFoundCharacters(const QString& text) override { events << "'" + text + "'"; }
    void parserDidEndElement(const QString& name) override { events << ">" + name; }
    void parserDidEndDocument() override { events << QStringLiteral("end"); }

    QStringList events;
    HLVXMLParser* parser = nullptr;
    QString abortAt;
};

} // namespace

TEST(HLVXMLParser, DeliversEventsInDocumentOrderAndStopsWhenAborted)
{
    const QString document = QStringLiteral(
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><m xmlns=\"urn:x\" xmlns:e=\"urn:e\">"
        "<a id=\"1\" e:score=\"9\">x &amp; <![CDATA[<y>]]></a><e:b/></m>");
    EventLog log;
    HLVXMLParser parser(document);
    parser.setDelegate(&log);
    EXPECT_TRUE(parser.parse());
    EXPECT_FALSE(parser.hasError());
    EXPECT_EQ(log.events, QStringList({"begin", "<m", "<a 1", "'x & '", "'<y>'", ">a", "<b", ">b", ">m", "end"}));

    EventLog aborting;
    aborting.abortAt = QStringLiteral("a");
    HLVXMLParser stopped(document);
    aborting.parser = &stopped;
    stopped.setDelegate(&aborting);
    EXPECT_FALSE(stopped.parse());
    EXPECT_TRUE(stopped.wasAborted());
    EXPECT_FALSE(stopped.hasError());
    EXPECT_EQ(aborting.events, QStringList({"begin", "<m", "<a 1"}));
}

TEST(HLVXMLParser, HostileDocumentsEndInAnErrorQuickly)
{
    for (const auto& [name, reply] : HLVMusicBrainzTestSupport::badReplies()) {
        SCOPED_TRACE(name);
        EventLog log;
        HLVXMLParser parser(QString::fromUtf8(reply.body));
        parser.setDelegate(&log);
        const auto started = std::chrono::steady_clock::now();
        const bool complete = parser.parse();
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
        // The 5 MB document is well-formed and only big; every other one is broken or hostile.
        if (QLatin1String(name) == QLatin1String("5 MB document") || QLatin1String(name) == QLatin1String("error document")) {
            EXPECT_TRUE(complete);
        } else {
            EXPECT_FALSE(complete);
            EXPECT_TRUE(parser.hasError());
        }
        qsizetype text = 0;
        for (const QString& event : log.events)
            text += event.size();
        EXPECT_LT(text, 6 * 1024 * 1024) << "entities were expanded";
    }
}

TEST(HLVXMLParser, ExternalEntitiesAreNeverRead)
{
    QTemporaryFile secret;
    ASSERT_TRUE(secret.open());
    secret.write("top secret");
    secret.flush();
    const QString document = "<!DOCTYPE m [<!ENTITY s SYSTEM \"file://" + secret.fileName() + "\">]><m>a&s;b</m>";
    EventLog log;
    HLVXMLParser parser(document);
    parser.setDelegate(&log);
    parser.parse();
    EXPECT_FALSE(log.events.join(QString()).contains(QLatin1String("secret")));
}

TEST(HLVQueryEncoding, KeepsQuerySyntaxAndEncodesWhatWouldCutAValue)
{
    EXPECT_EQ(HLVQueryEncoding::encodeQuery(QStringLiteral(" AND status:(official) x/y")),
              "%20AND%20status:(official)%20x/y");
    EXPECT_EQ(HLVQueryEncoding::encodeQuery(QStringLiteral("a&b+c=d?e#f%g\"h")), "a&b+c=d?e%23f%25g%22h");
    EXPECT_EQ(HLVQueryEncoding::encodeValue(QStringLiteral("Simon & Garfunkel")), "Simon%20%26%20Garfunkel");
    EXPECT_EQ(HLVQueryEncoding::encodeValue(QStringLiteral("a+b=c?d#e%f")), "a%2Bb%3Dc%3Fd%23e%25f");
    EXPECT_EQ(HLVQueryEncoding::encodeValue(QStringLiteral("Björk: (live) 'x'!")), "Bj%C3%B6rk:%20(live)%20'x'!");
}

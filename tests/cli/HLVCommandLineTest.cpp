#include "HLVCommandLine.h"
#include "HLVJsonWriter.h"
#include "HLVTestPrinters.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

namespace {

HLVCommandLine parse(const QStringList& arguments)
{
    return HLVCommandLine::parse(arguments);
}

} // namespace

TEST(HLVCommandLine, ReadsOptionsInBothFormsAndKeepsValuesAsTyped)
{
    const auto line = parse({"set", "--title=", "--artist", "-dash first", "--year", " 1999 ", "--track=",
                             "--compilation", "1", "--comment", "   ", "--custom", "TXXX=a=b", "--remove-custom",
                             "TCOP", "--", "--odd-name.mp3", "b.flac"});
    ASSERT_TRUE(line.error().isEmpty()) << line.error().toStdString();
    EXPECT_EQ(line.command(), HLVCommandLine::Command::Set);
    EXPECT_EQ(line.paths(), QStringList({"--odd-name.mp3", "b.flac"}));
    QStringList seen;
    for (const auto& value : line.fieldValues()) {
        seen << value.field->key + "=" + (value.field->numeric ? QString::number(*value.number) : *value.text);
    }
    // Only spaces counts as empty text; an empty number is 0.
    EXPECT_EQ(seen, QStringList({"TrackName=", "ArtistName=-dash first", "ReleaseYear=1999", "TrackNumber=0",
                                 "Compilation=1", "Comment="}));
    EXPECT_EQ(line.customValues(), (QList<QPair<QString, QString>>{{"TXXX", "a=b"}}));
    EXPECT_EQ(line.customRemovals(), QStringList({"TCOP"}));
}

TEST(HLVCommandLine, RefusesWhatItCannotMeanAndLetsHelpWin)
{
    const QList<QStringList> bad = {
        {},
        {"show"},                                          // no path
        {"frobnicate", "a.mp3"},                           // unknown command
        {"show", "--apply", "a.mp3"},                      // not an option of show
        {"set", "a.mp3"},                                  // nothing to set
        {"set", "--year", "-1", "a.mp3"},
        {"set", "--year", "12x", "a.mp3"},
        {"set", "--year", "99999999999", "a.mp3"},
        {"set", "--compilation", "2", "a.mp3"},
        {"set", "--title", "a", "--title", "b", "a.mp3"},  // twice
        {"set", "--title"},                                // value missing
        {"set", "--custom", "TOOLONG=x", "a.mp3"},
        {"set", "--custom", "ctis=x", "a.mp3"},            // the list tag itself
        {"set", "--custom", "TXXX", "a.mp3"},              // no value
        {"set", "--custom", "TXXX=a", "--remove-custom", "txxx", "a.mp3"},
        {"set", "--artwork", "a.png", "--remove-artwork", "a.mp3"},
        {"set", "--clear=yes", "a.mp3"},
        {"rename", "a.mp3"},                               // no structure
        {"rename", "--structure", "Artist - Titel", "a.mp3"},
        {"rename", "--structure", "Artist - Title - Year - Genre", "a.mp3"},
        {"filter", "a.mp3"},
        {"filter", "tagged", "a.mp3"},
        {"show", "--acoustid-key", "k", "a.mp3"},          // only identify asks AcoustID
        {"identify", "--acoustid-key", " ", "a.mp3"},
    };
    for (const QStringList& arguments : bad)
        EXPECT_FALSE(parse(arguments).error().isEmpty()) << arguments.join(' ').toStdString();

    const auto help = parse({"set", "--bogus", "--help"});
    EXPECT_TRUE(help.wantsHelp());
    EXPECT_EQ(help.command(), HLVCommandLine::Command::Set);
    EXPECT_TRUE(parse({"--version"}).wantsVersion());
    EXPECT_TRUE(parse({"-q", "filter", "partial", "x"}).quiet());
    EXPECT_TRUE(parse({"filter", "untagged", "x"}).filterUntagged());
    EXPECT_TRUE(parse({"rename", "--structure", "Album Name-Track Number - Title", "x"}).error().isEmpty());
    EXPECT_EQ(parse({"identify", "--acoustid-key=abc", "x"}).acoustIDKey(), "abc");
}

TEST(HLVJsonWriter, KeepsMemberOrderAndEscapesEverythingJSONNeeds)
{
    HLVJsonWriter json;
    json.beginArray();
    json.beginObject();
    json.key(QStringLiteral("zeta"));
    json.value(QStringLiteral("quote \" backslash \\ tab \t line \n bell \x07 é 日本"));
    json.key(QStringLiteral("alpha"));
    json.value(42);
    json.key(QStringLiteral("empty"));
    json.beginObject();
    json.endObject();
    json.key(QStringLiteral("none"));
    json.value(std::optional<QString>());
    json.key(QStringLiteral("flag"));
    json.value(false);
    json.endObject();
    json.endArray();

    const QByteArray text = json.data();
    EXPECT_LT(text.indexOf("\"zeta\""), text.indexOf("\"alpha\""));
    EXPECT_TRUE(text.contains("\\u0007"));
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << text.toStdString();
    const QJsonObject object = document.array().at(0).toObject();
    EXPECT_EQ(object.value("zeta").toString(), QStringLiteral("quote \" backslash \\ tab \t line \n bell \x07 é 日本"));
    EXPECT_EQ(object.value("alpha").toInt(), 42);
    EXPECT_TRUE(object.value("empty").toObject().isEmpty());
    EXPECT_TRUE(object.value("none").isNull());
    EXPECT_EQ(object.value("flag"), QJsonValue(false));
}

#include "HLVTagText.h"
#include "HLVTagValueParser.h"

#include <gtest/gtest.h>

using namespace HLVTagValueParser;

TEST(HLVTagText, ConvertsBothWays)
{
    const QString text = QStringLiteral("Ångström 東京 😀");
    EXPECT_EQ(HLVTagText::fromTagLib(HLVTagText::toTagLib(text)), text);
    EXPECT_EQ(QString::fromUtf8(HLVTagText::toTagLib(text).toCString(true)), text);
    EXPECT_FALSE(HLVTagText::presentFromTagLib(TagLib::String()));
    EXPECT_EQ(HLVTagText::keyFromTagLib(HLVTagText::keyToTagLib(QStringLiteral("\u00A9nam"))), QStringLiteral("\u00A9nam"));
}

TEST(HLVTagText, Utf8Validation)
{
    auto valid = [](const char* s) { return HLVTagText::isValidUtf8(s, qsizetype(strlen(s))); };
    EXPECT_TRUE(valid("plain"));
    EXPECT_TRUE(valid("caf\xC3\xA9"));
    EXPECT_TRUE(valid("\xF0\x9F\x98\x80"));
    EXPECT_FALSE(valid("caf\xE9"));
    EXPECT_FALSE(valid("\xC3"));           // cut short
    EXPECT_FALSE(valid("\xC0\xAF"));       // overlong
    EXPECT_FALSE(valid("\xED\xA0\x80"));   // surrogate
    EXPECT_FALSE(valid("\xF4\x90\x80\x80")); // beyond U+10FFFF
}

TEST(HLVTagValueParser, PathComponents)
{
    EXPECT_EQ(lastPathComponent("3/12"), "12");
    EXPECT_EQ(deletingLastPathComponent("3/12"), "3");
    EXPECT_EQ(lastPathComponent("3/"), "3");
    EXPECT_EQ(lastPathComponent("/12"), "12");
    EXPECT_EQ(deletingLastPathComponent("/12"), "/");
    EXPECT_EQ(integerOfText(deletingLastPathComponent("/12")), 0);
    EXPECT_EQ(lastPathComponent("7"), "7");
    EXPECT_EQ(deletingLastPathComponent("7"), "");
    EXPECT_EQ(lastPathComponent("1/2/3"), "3");
    EXPECT_EQ(deletingLastPathComponent("1/2/3"), "1/2");
}

TEST(HLVTagValueParser, IntegersAndBooleans)
{
    EXPECT_EQ(integerOfText("  42abc"), 42);
    EXPECT_EQ(integerOfText("-7"), -7);
    EXPECT_EQ(integerOfText("+7"), 7);
    EXPECT_EQ(integerOfText("x1"), 0);
    EXPECT_EQ(integerOfText(""), 0);
    EXPECT_EQ(integerOfText("99999999999999999999"), 2147483647);
    EXPECT_EQ(integerOfText("-99999999999999999999"), -2147483647 - 1);
    EXPECT_EQ(integerOfText("2147483648"), 2147483647);

    for (const char* yes : {"1", "true", "Yes", " +007", "T", "9x"})
        EXPECT_TRUE(booleanOfText(yes)) << yes;
    for (const char* no : {"0", "", "false", "no", " 000", "-0", "x"})
        EXPECT_FALSE(booleanOfText(no)) << no;

    EXPECT_EQ(pathExtension("/a.b/c.MP3"), "MP3");
    EXPECT_EQ(pathExtension("/a.b/c"), "");
    EXPECT_EQ(pathExtension("c.tar.gz"), "gz");
}

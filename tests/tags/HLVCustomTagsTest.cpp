#include "HLVCustomTagIdentifierString.h"
#include "HLVCustomTagValue.h"
#include "HLVKnownTagDetail.h"
#include "HLVKnownTagsXMLParser.h"
#include "HLVTestFiles.h"

#include <gtest/gtest.h>

TEST(HLVCustomTagIdentifierString, ParsesAndRebuildsStoredText)
{
    HLVCustomTagIdentifierString list(QStringLiteral("TXXX,TCOP,"));
    EXPECT_EQ(list.tagIdentifiers(), QStringList({"TXXX", "TCOP"}));
    EXPECT_EQ(list.stringValue(), QStringLiteral("TXXX,TCOP,"));

    EXPECT_EQ(HLVCustomTagIdentifierString(QStringLiteral("TXXX,TXXX,TCOP,")).tagIdentifiers(),
              QStringList({"TXXX", "TCOP"}));
    EXPECT_TRUE(HLVCustomTagIdentifierString(QStringLiteral("TXXX")).tagIdentifiers().isEmpty());
    EXPECT_TRUE(HLVCustomTagIdentifierString(QStringLiteral("ABCDEFGH")).tagIdentifiers().isEmpty());
    EXPECT_EQ(HLVCustomTagIdentifierString(QStringLiteral("TXX,TCOP,")).tagIdentifiers(), QStringList({"TCOP"}));
    // A last identifier without its comma still counts once there is a comma at all.
    EXPECT_EQ(HLVCustomTagIdentifierString(QStringLiteral("TXXX,TCOP")).tagIdentifiers(),
              QStringList({"TXXX", "TCOP"}));
    EXPECT_EQ(HLVCustomTagIdentifierString(std::nullopt).stringValue(), QString());
}

TEST(HLVCustomTagIdentifierString, ListOperationsKeepFourCharacterUniqueIdentifiers)
{
    HLVCustomTagIdentifierString list;
    list.addTagIdentifier(QStringLiteral("TXXX"));
    list.addTagIdentifier(QStringLiteral("TXXX"));
    list.addTagIdentifier(QStringLiteral("TXX"));
    list.addTagIdentifier(QStringLiteral("TXXXX"));
    list.addTagIdentifier(QStringLiteral("txxx")); // case matters in the list
    EXPECT_EQ(list.tagIdentifiers(), QStringList({"TXXX", "txxx"}));

    list.setCTIString(QStringLiteral("TCOP,"));
    EXPECT_EQ(list.stringValue(), QStringLiteral("TXXX,txxx,TCOP,"));

    list.removeTagIdentifiers({QStringLiteral("txxx"), QStringLiteral("TCO")});
    EXPECT_EQ(list.stringValue(), QStringLiteral("TXXX,TCOP,"));

    list.setTagIdentifiers({QStringLiteral("ABCD")});
    EXPECT_EQ(list.stringValue(), QStringLiteral("ABCD,"));
    list.removeTagIdentifier(QStringLiteral("ABCD"));
    EXPECT_EQ(list.stringValue(), QString());
}

TEST(HLVCustomTagValue, LookupIgnoresLetterCase)
{
    HLVCustomTagValueArray values{std::make_shared<HLVCustomTagValue>(QStringLiteral("TCOP")),
                                  std::make_shared<HLVCustomTagValue>(QStringLiteral("txxx"), QStringLiteral("v"))};
    auto found = HLVCustomTagValue::customTagValueWithIdentifier(QStringLiteral("TXXX"), values);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->value(), QStringLiteral("v"));
    EXPECT_FALSE(found->isMarkedForRemoval());
    EXPECT_FALSE(HLVCustomTagValue::customTagValueWithIdentifier(QStringLiteral("WXXX"), values));
    EXPECT_FALSE(HLVCustomTagValue::customTagValueWithIdentifier(QStringLiteral("TXXX"), {}));
}

class HLVKnownTagCatalogue : public ::testing::Test
{
protected:
    void TearDown() override { HLVKnownTagDetail::setCatalogPathForTesting(QStringLiteral(":/KnownTags.xml")); }
    HLVTestFiles files;
};

TEST_F(HLVKnownTagCatalogue, ShippedCatalogueAnswersPerFormat)
{
    auto tcop = HLVKnownTagDetail::knownTagDetailForIdentifier(QStringLiteral("tcop"), QStringLiteral("MP3"));
    ASSERT_TRUE(tcop);
    EXPECT_EQ(tcop->identifier(), QStringLiteral("TCOP"));
    EXPECT_TRUE(tcop->allowEdit());

    auto bpm = HLVKnownTagDetail::knownTagDetailForIdentifier(QStringLiteral("TBPM"), QStringLiteral("mp3"));
    ASSERT_TRUE(bpm);
    EXPECT_EQ(bpm->knownTagType(), 2);
    auto picture = HLVKnownTagDetail::knownTagDetailForIdentifier(QStringLiteral("APIC"), QStringLiteral("mp3"));
    ASSERT_TRUE(picture);
    EXPECT_FALSE(picture->allowEdit());

    EXPECT_TRUE(HLVKnownTagDetail::knownTagDetailForIdentifier(QStringLiteral("xnam"), QStringLiteral("m4a")));
    EXPECT_TRUE(HLVKnownTagDetail::knownTagDetailForIdentifier(QStringLiteral("aART"), QStringLiteral("M4P")));
    EXPECT_FALSE(HLVKnownTagDetail::knownTagDetailForIdentifier(QStringLiteral("AART"), QStringLiteral("m4a")));
    EXPECT_TRUE(HLVKnownTagDetail::knownTagDetailForIdentifier(QStringLiteral("ISRC"), QStringLiteral("flac")));
    EXPECT_FALSE(HLVKnownTagDetail::knownTagDetailForIdentifier(QStringLiteral("isrc"), QStringLiteral("flac")));

    EXPECT_FALSE(HLVKnownTagDetail::knownTagDetailForIdentifier(QStringLiteral("TCOP"), QStringLiteral("ogg")));
    EXPECT_FALSE(HLVKnownTagDetail::knownTagDetailForIdentifier(QStringLiteral("TCO"), QStringLiteral("mp3")));
    EXPECT_FALSE(HLVKnownTagDetail::knownTagDetailForIdentifier(std::nullopt, QStringLiteral("mp3")));
    EXPECT_FALSE(HLVKnownTagDetail::knownTagDetailForIdentifier(QStringLiteral("TCOP"), std::nullopt));
}

TEST_F(HLVKnownTagCatalogue, CatalogueWithOneTableLeavesTheOthersEmpty)
{
    const QString path = files.writeFile(QStringLiteral("known.xml"), R"(<?xml version="1.0"?>
<root><id3Tags count="0">
  <e><identifier>TC</identifier><identifier>OP</identifier><knownType>2</knownType><allowsEdit> +0001</allowsEdit></e>
  <e><identifier>WXXX</identifier><knownType>1</knownType><allowsEdit>no</allowsEdit></e>
  <e><identifier>WXXX</identifier><knownType>5</knownType><allowsEdit>yes</allowsEdit></e>
</id3Tags></root>)");
    HLVKnownTagDetail::setCatalogPathForTesting(path);

    auto tcop = HLVKnownTagDetail::knownTagDetailForIdentifier(QStringLiteral("TCOP"), QStringLiteral("mp3"));
    ASSERT_TRUE(tcop); // identifier text arrived in two pieces
    EXPECT_EQ(tcop->knownTagType(), 2);
    EXPECT_TRUE(tcop->allowEdit());
    auto wxxx = HLVKnownTagDetail::knownTagDetailForIdentifier(QStringLiteral("WXXX"), QStringLiteral("mp3"));
    ASSERT_TRUE(wxxx); // the later entry replaces the earlier
    EXPECT_EQ(wxxx->knownTagType(), 5);
    EXPECT_TRUE(wxxx->allowEdit());

    EXPECT_EQ(HLVKnownTagDetail::getKnownID3Tags()->size(), 2);
    EXPECT_FALSE(HLVKnownTagDetail::getKnownAppleTags());
    EXPECT_FALSE(HLVKnownTagDetail::knownTagDetailForIdentifier(QStringLiteral("xnam"), QStringLiteral("m4a")));
    EXPECT_FALSE(HLVKnownTagDetail::knownTagDetailForIdentifier(QStringLiteral("DATE"), QStringLiteral("flac")));
}

TEST_F(HLVKnownTagCatalogue, MissingOrMalformedCatalogueGivesEmptyTables)
{
    HLVKnownTagDetail::setCatalogPathForTesting(files.path(QStringLiteral("missing.xml")));
    ASSERT_TRUE(HLVKnownTagDetail::getKnownID3Tags());
    EXPECT_TRUE(HLVKnownTagDetail::getKnownID3Tags()->isEmpty());

    const QString broken = files.writeFile(
        QStringLiteral("broken.xml"),
        "<r><xiphTags><e><identifier>DATE</identifier><knownType>1</knownType><allowsEdit>1</allowsEdit></e>"
        "</xiphTags><id3Tags><e><identifier>TCOP</identifier>");
    HLVKnownTagsXMLParser parser(broken);
    EXPECT_FALSE(parser.parse());
    ASSERT_TRUE(parser.knownXiphTags()); // finished before the error
    EXPECT_EQ(parser.knownXiphTags()->size(), 1);

    HLVKnownTagDetail::setCatalogPathForTesting(broken);
    EXPECT_FALSE(HLVKnownTagDetail::knownTagDetailForIdentifier(QStringLiteral("DATE"), QStringLiteral("flac")));
    EXPECT_TRUE(HLVKnownTagDetail::getKnownXiphTags()->isEmpty());
}

TEST_F(HLVKnownTagCatalogue, ExternalEntitiesAreNotResolved)
{
    const QString secret = files.writeFile(QStringLiteral("secret.txt"), "LEAK");
    const QString path = files.writeFile(QStringLiteral("evil.xml"),
                                         QStringLiteral("<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY x SYSTEM \"file://%1\">]>"
                                                        "<r><id3Tags><e><identifier>&x;</identifier><knownType>1</knownType>"
                                                        "<allowsEdit>1</allowsEdit></e></id3Tags></r>")
                                             .arg(secret)
                                             .toUtf8());
    HLVKnownTagsXMLParser parser(path);
    parser.parse();
    // Whether the document is refused or read without the entity, the file's text never becomes an identifier.
    const auto table = parser.knownID3Tags().value_or(HLVKnownTagDetail::Table());
    for (auto it = table.cbegin(); it != table.cend(); ++it)
        EXPECT_FALSE(it.key().contains(QStringLiteral("LEAK")));
    HLVKnownTagDetail::setCatalogPathForTesting(path);
    EXPECT_FALSE(HLVKnownTagDetail::knownTagDetailForIdentifier(QStringLiteral("LEAK"), QStringLiteral("mp3")));
}

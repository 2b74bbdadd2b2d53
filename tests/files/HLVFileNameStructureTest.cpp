#include "HLVFileNameStructure.h"

#include <QSettings>
#include <gtest/gtest.h>

using S = HLVFileNameStructure;

TEST(HLVFileNameStructure, TextFormBothWays)
{
    EXPECT_EQ(S().stringValue(), "Title");
    EXPECT_EQ(S(2, 0, 8).stringValue(), "Artist - Title");
    EXPECT_EQ(S(0, 9, 8).stringValue(), "Track Number - Title");
    EXPECT_EQ(S(0, 0, 0).stringValue(), "");
    EXPECT_EQ(S(12, 0, 8).stringValue(), "Title"); // an unknown identifier has no name

    EXPECT_EQ(S::initWithStringValue(QStringLiteral("  Title ")), S(0, 0, 8));
    EXPECT_EQ(S::initWithStringValue(QStringLiteral("Artist-Title")), S(0, 2, 8));
    EXPECT_EQ(S::initWithStringValue(QStringLiteral("Artist - Title")), S(0, 2, 8));
    EXPECT_EQ(S::initWithStringValue(QStringLiteral("Album Name - Track Number - Title")), S(1, 9, 8));
    EXPECT_EQ(S::initWithStringValue(QStringLiteral("Album Name - Track Number - Title - Year")), S(1, 9, 8));
    EXPECT_TRUE(S::initWithStringValue(QStringLiteral("artist - title")).isEmpty());
    EXPECT_TRUE(S::initWithStringValue(std::nullopt).isEmpty());

    EXPECT_EQ(S::identifierForStringValue(QStringLiteral(" Year ")), 11);
    EXPECT_EQ(S::identifierForStringValue(QStringLiteral("year")), 0);
    EXPECT_EQ(S::stringValueForIdentifier(0), "");
    EXPECT_EQ(S::initWithComponentStrings("Genre", "", "Disc Total"), S(6, 0, 5));
}

TEST(HLVFileNameStructure, StoredInThePreferences)
{
    QSettings().remove(QStringLiteral("StoredFileNameStructure"));
    EXPECT_EQ(S::storedStructure(), S());
    S::storeStructure(S(2, 1, 8));
    EXPECT_EQ(QSettings().value(QStringLiteral("StoredFileNameStructure")).toString(), "Artist - Album Name - Title");
    EXPECT_EQ(S::storedStructure(), S(2, 1, 8));
    S::storeStructure(std::nullopt);
    EXPECT_EQ(S::storedStructure(), S());
    QSettings().remove(QStringLiteral("StoredFileNameStructure"));
}

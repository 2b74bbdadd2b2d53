#include "HLVStrings.h"

#include <gtest/gtest.h>

TEST(HLVStrings, NilOrEmptyCountsOnlySpacesAsEmpty)
{
    EXPECT_TRUE(HLVStrings::isNilOrEmpty(std::nullopt));
    EXPECT_TRUE(HLVStrings::isNilOrEmpty(QString()));
    EXPECT_TRUE(HLVStrings::isNilOrEmpty(QStringLiteral("   ")));
    EXPECT_FALSE(HLVStrings::isNilOrEmpty(QStringLiteral(" a ")));
    EXPECT_FALSE(HLVStrings::isNilOrEmpty(QStringLiteral("\t")));
    EXPECT_FALSE(HLVStrings::isNilOrEmpty(QStringLiteral("\u00A0")));
}

TEST(HLVStrings, NonNilStringReplacesAbsentByEmpty)
{
    EXPECT_EQ(HLVStrings::nonNilString(std::nullopt), QString());
    EXPECT_EQ(HLVStrings::nonNilString(QStringLiteral("x")), QStringLiteral("x"));
}

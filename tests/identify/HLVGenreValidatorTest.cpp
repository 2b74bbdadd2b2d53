#include "HLVGenreValidator.h"

#include <gtest/gtest.h>

TEST(HLVGenreValidator, AnswersTheListSpellingIgnoringCase)
{
    const HLVGenreValidator validator;
    for (const char* text : {"rock", "ROCK", "Rock", "rOcK"})
        EXPECT_EQ(validator.validateGenre(QString::fromLatin1(text)), "Rock") << text;
    EXPECT_EQ(validator.validateGenre(QStringLiteral("r&b")), "R&B");
    EXPECT_EQ(validator.validateGenre(QStringLiteral("drum & bass")), "Drum & Bass");
    EXPECT_EQ(validator.validateGenre(QStringLiteral("a cappella")), "A Cappella");
    EXPECT_EQ(validator.validateGenre(QStringLiteral("rock/pop")), "Rock/Pop");
    EXPECT_EQ(validator.validateGenre(QStringLiteral("christian gangsta rap")), "Christian Gangsta Rap");
    EXPECT_EQ(validator.validateGenre(QStringLiteral("jpop")), "JPop");
    EXPECT_EQ(validator.validateGenre(QStringLiteral("top 40")), "Top 40");
}

TEST(HLVGenreValidator, RefusesEverythingElse)
{
    const HLVGenreValidator validator;
    for (const char* text : {"Blues", "Hip-Hop", "seen live", "rock ", " rock", "Rock and Roll", "Roc", "R", ""})
        EXPECT_EQ(validator.validateGenre(QString::fromLatin1(text)), std::nullopt) << text;
    EXPECT_EQ(validator.validateGenre(std::nullopt), std::nullopt);
}

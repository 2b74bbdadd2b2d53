#include "HLVTagMap.h"
#include "HLVTagMapFilter.h"

#include <QImage>
#include <gtest/gtest.h>

namespace {

std::shared_ptr<HLVTagMap> completeMap()
{
    auto map = std::make_shared<HLVTagMap>();
    map->setTrackName(QStringLiteral("Title"));
    map->setArtistName(QStringLiteral("Artist"));
    map->setAlbumName(QStringLiteral("Album"));
    map->setGenre(QStringLiteral("Rock"));
    map->setReleaseYear(1999);
    map->setTrackNumber(3);
    map->setTrackTotal(12);
    map->setDiscNumber(1);
    QImage image(4, 4, QImage::Format_RGB32);
    image.fill(Qt::red);
    map->setArtworkImage(image);
    return map;
}

} // namespace

TEST(HLVTagMap, CopyKeepsValuesAndSharesCustomTagElements)
{
    auto source = completeMap();
    source->setCompilation(0);
    source->setArtworkState(HLVArtworkStateFound);
    source->setArtworkAttempted(true);
    source->setCustomTagValues(HLVCustomTagValueArray{
        std::make_shared<HLVCustomTagValue>(QStringLiteral("TXXX"), QStringLiteral("one"))});
    source->setCustomTagIdentifierString(QStringLiteral("TXXX,"));

    auto copy = HLVTagMap::initWithContentsOfTagMap(source);
    ASSERT_TRUE(copy->Compilation());
    EXPECT_EQ(*copy->Compilation(), 0);
    EXPECT_EQ(copy->ArtworkState(), HLVArtworkStateFound);
    EXPECT_TRUE(copy->ArtworkAttempted());
    EXPECT_EQ(copy->TrackName(), source->TrackName());
    EXPECT_EQ(copy->CustomTagIdentifierString(), QStringLiteral("TXXX,"));
    EXPECT_FALSE(copy->Artwork().isNull());

    // Elements are shared...
    (*copy->CustomTagValues())[0]->setValue(QStringLiteral("two"));
    EXPECT_EQ((*source->CustomTagValues())[0]->value(), QStringLiteral("two"));
    // ...the arrays and plain fields are not.
    copy->CustomTagValues()->append(std::make_shared<HLVCustomTagValue>(QStringLiteral("TCOP")));
    copy->setTrackName(QStringLiteral("Other"));
    EXPECT_EQ(source->CustomTagValues()->size(), 1);
    EXPECT_EQ(source->TrackName(), QStringLiteral("Title"));

    auto fromNothing = HLVTagMap::initWithContentsOfTagMap(nullptr);
    ASSERT_TRUE(fromNothing);
    EXPECT_FALSE(fromNothing->TrackName());
}

TEST(HLVTagMapFilter, ScoresMissingFields)
{
    EXPECT_EQ(HLVTagMapFilter::filteredTagCountForTagMap(HLVTagMap()), 10);
    EXPECT_EQ(HLVTagMapFilter::filteredTagCountForTagMap(*completeMap()), 0);

    HLVTagMap emptyTitle;
    emptyTitle.setTrackName(QString(""));
    EXPECT_EQ(HLVTagMapFilter::filteredTagCountForTagMap(emptyTitle), 10);

    auto noTitle = completeMap();
    noTitle->setTrackName(std::nullopt);
    EXPECT_EQ(HLVTagMapFilter::filteredTagCountForTagMap(*noTitle), 2);

    auto zeroTrack = completeMap();
    zeroTrack->setTrackNumber(0);
    EXPECT_EQ(HLVTagMapFilter::filteredTagCountForTagMap(*zeroTrack), 1);

    auto noTotal = completeMap();
    noTotal->setTrackTotal(std::nullopt);
    EXPECT_EQ(HLVTagMapFilter::filteredTagCountForTagMap(*noTotal), 1);

    // Fields outside the score, and a title of spaces, change nothing.
    auto extras = completeMap();
    extras->setDiscTotal(std::nullopt);
    extras->setComposer(std::nullopt);
    extras->setTrackName(QStringLiteral("  "));
    EXPECT_EQ(HLVTagMapFilter::filteredTagCountForTagMap(*extras), 0);

    auto noArtwork = completeMap();
    noArtwork->setArtwork(HLVArtwork());
    EXPECT_EQ(HLVTagMapFilter::filteredTagCountForTagMap(*noArtwork), 1);
}

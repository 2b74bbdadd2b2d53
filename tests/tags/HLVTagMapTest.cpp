#include "HLVArtwork.h"
#include "HLVTagMap.h"
#include "HLVTagMapFilter.h"

#include <QBuffer>
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

// The size comes from the picture's header without decoding it; a header that
// does not read means no picture.
TEST(HLVArtwork, SizeFromTheHeaderAndDamagedHeadersAreAbsent)
{
    QImage image(37, 5, QImage::Format_RGB32);
    image.fill(Qt::darkGreen);
    for (const char* format : {"PNG", "JPEG", "BMP"}) {
        SCOPED_TRACE(format);
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        ASSERT_TRUE(image.save(&buffer, format));
        const HLVArtwork artwork = HLVArtwork::fromEncodedData(bytes);
        EXPECT_EQ(artwork.size(), QSize(37, 5));
        EXPECT_EQ(artwork.image().size(), QSize(37, 5));
        // Cut inside the header, or its first bytes overwritten: absent.
        EXPECT_TRUE(HLVArtwork::fromEncodedData(bytes.left(12)).image().isNull());
        QByteArray damaged = bytes;
        damaged.replace(0, 30, QByteArray(30, '\x11'));
        EXPECT_TRUE(HLVArtwork::fromEncodedData(damaged).size().isEmpty());
    }
}

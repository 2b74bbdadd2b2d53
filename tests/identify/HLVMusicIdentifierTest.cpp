#include "HLVFileData.h"
#include "HLVMusicIdentifier.h"

#include <gtest/gtest.h>

TEST(HLVMusicIdentifier, HoldsEachRecordOnceThroughAddsRemovalsAndReplacements)
{
    auto identifier = HLVMusicIdentifier::create();
    const auto a = HLVFileData::createWithPath(QStringLiteral("/music/a.mp3"));
    const auto b = HLVFileData::createWithPath(QStringLiteral("/music/b.mp3"));
    using Records = QList<std::shared_ptr<HLVFileData>>;

    identifier->addFileData(a);
    identifier->addFileData(a);
    identifier->addFileData(nullptr);
    EXPECT_EQ(identifier->FileDataArray(), Records({a}));

    identifier->removeFileData(a);
    EXPECT_TRUE(identifier->FileDataArray().isEmpty());
    identifier->addFileData(a); // removed records may come back
    EXPECT_EQ(identifier->FileDataArray(), Records({a}));

    // A list handed in replaces the whole collection, duplicates and all.
    identifier->setFileDataArray({b, b});
    identifier->addFileData(a);
    identifier->addFileData(b);
    EXPECT_EQ(identifier->FileDataArray(), Records({b, b, a}));
    identifier->removeFileData(b); // one of the two goes; the other still counts
    identifier->addFileData(b);
    EXPECT_EQ(identifier->FileDataArray(), Records({b, a}));
    identifier->removeFileData(b);
    identifier->addFileData(b);
    EXPECT_EQ(identifier->FileDataArray(), Records({a, b}));
}

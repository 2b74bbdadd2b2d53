#include "HLVTagLib.h"
#include "HLVTagListWindow.h"
#include "HLVTestFiles.h"

#include <QTableWidget>
#include <gtest/gtest.h>

TEST(HLVTagListWindow, ListsEachFileWithItsTags)
{
    HLVTestFiles files;
    const QString tagged = files.copyFixture(QStringLiteral("tone.flac"));
    HLVTagMap map;
    map.setTrackName(QStringLiteral("Tone"));
    map.setArtistName(QStringLiteral("Generator"));
    ASSERT_TRUE(HLVTagLib::saveTagsToFileAtPath(tagged, &map));

    HLVTagListWindow window;
    window.showFiles({tagged, files.path(QStringLiteral("missing.mp3"))});
    QTableWidget* table = window.table();
    ASSERT_EQ(table->rowCount(), 2);
    EXPECT_EQ(table->item(0, 0)->text(), QStringLiteral("tone.flac"));
    EXPECT_EQ(table->item(0, 1)->text(), QStringLiteral("Tone"));
    EXPECT_EQ(table->item(0, 2)->text(), QStringLiteral("Generator"));
    EXPECT_EQ(table->item(1, 1)->text(), QString());
    EXPECT_EQ(table->item(1, 11)->text(), QStringLiteral("10"));
}

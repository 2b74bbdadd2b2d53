#include "HLVCannedReplies.h"
#include "HLVFileManager.h"
#include "HLVFileManagerEvents.h"
#include "HLVLoopbackServer.h"
#include "HLVMusicBrainzServer.h"
#include "HLVServiceConfiguration.h"
#include "HLVTestFiles.h"

#include <QFile>
#include <condition_variable>
#include <thread>
#include <gtest/gtest.h>
#include <taglib/fileref.h>
#include <taglib/tpropertymap.h>

using namespace std::chrono_literals;

namespace {

const QByteArray kAcoustIDReply = HLVCannedReplies::acoustIDReply();
const QByteArray kReleasesReply = HLVCannedReplies::releasesReply();

using Events = HLVFileManagerEvents;

} // namespace

class HLVFileManagerIdentify : public ::testing::Test
{
protected:
    void SetUp() override
    {
        server.setReply(QStringLiteral("/v2/lookup"), HLVLoopbackServer::Reply::json(kAcoustIDReply));
        server.setReply(QStringLiteral("/ws/2/recording/"), HLVLoopbackServer::Reply::xml(kReleasesReply));
        qputenv("CADRELLE_ACOUSTID_URL", server.baseAddress().toUtf8());
        qputenv("CADRELLE_MUSICBRAINZ_URL", server.baseAddress().toUtf8());
        HLVMusicBrainzServer::resetForTesting();
        HLVServiceConfiguration::setRequestPauseForTesting(10ms);
    }
    void TearDown() override
    {
        HLVServiceConfiguration::resetPacingForTesting();
        qunsetenv("CADRELLE_ACOUSTID_URL");
        qunsetenv("CADRELLE_MUSICBRAINZ_URL");
        HLVMusicBrainzServer::resetForTesting();
    }

    HLVLoopbackServer server;
    HLVTestFiles files;
};

TEST_F(HLVFileManagerIdentify, ThreeFilesThroughThePipeline)
{
    const QString tagged = files.copyFixture(QStringLiteral("tone.mp3"), QStringLiteral("tagged.mp3"));
    {
        TagLib::FileRef file(QFile::encodeName(tagged).constData());
        TagLib::PropertyMap properties;
        properties["TITLE"] = TagLib::StringList("Tone");
        properties["ARTIST"] = TagLib::StringList("The Generators");
        properties["ALBUM"] = TagLib::StringList("Waveforms");
        properties["ALBUMARTIST"] = TagLib::StringList("The Generators");
        properties["GENRE"] = TagLib::StringList("Electronic");
        properties["DATE"] = TagLib::StringList("2001");
        properties["TRACKNUMBER"] = TagLib::StringList("5/12");
        properties["DISCNUMBER"] = TagLib::StringList("1/1");
        file.file()->setProperties(properties);
        ASSERT_TRUE(file.save());
    }
    auto readOnly = HLVFileData::createWithPath(files.copyFixture(QStringLiteral("tone.mp3"), QStringLiteral("locked.mp3")));
    readOnly->setIsReadOnly(true);
    auto complete = HLVFileData::createWithPath(tagged);
    auto untagged = HLVFileData::createWithPath(files.copyFixture(QStringLiteral("tone.flac"), QStringLiteral("bare.flac")));

    Events events;
    {
        HLVFileManager manager;
        manager.addDelegate(&events);
        for (const auto& record : {readOnly, complete, untagged})
            ASSERT_TRUE(manager.addFileData(record));
        manager.identifyFiles({readOnly, complete, untagged});
        const QStringList seen = events.waitFor(QStringLiteral("finish 5"));
        EXPECT_EQ(seen, QStringList({"start 5", "6 locked.mp3", "7 tagged.mp3", "5 bare.flac", "finish 5"}));
        manager.removeDelegate(&events);
    }
    EXPECT_EQ(readOnly->IdentificationState(), HLVIdentificationFailed);
    EXPECT_EQ(complete->IdentificationState(), HLVIdentificationSkipped);
    ASSERT_EQ(untagged->IdentificationState(), HLVIdentificationIdentified);
    EXPECT_TRUE(untagged->IsModified());
    EXPECT_EQ(untagged->TrackMBID(), QStringLiteral("rec-1"));
    EXPECT_EQ(untagged->ArtistName(), QStringLiteral("The Generators"));

    // Albums before singles; the first candidate is the pending map.
    const auto releases = untagged->Releases();
    ASSERT_EQ(releases.size(), 2);
    EXPECT_EQ(untagged->selectedRelease(), 0);
    EXPECT_EQ(releases[0]->AlbumName(), QStringLiteral("Waveforms"));
    EXPECT_EQ(releases[0]->TrackNumber(), 5);
    EXPECT_EQ(releases[0]->TrackTotal(), 12);
    EXPECT_EQ(releases[0]->ReleaseYear(), 2001);
    EXPECT_EQ(releases[0]->Genre(), QStringLiteral("Electronic"));
    EXPECT_EQ(releases[0]->ReleaseMBID(), QStringLiteral("rel-album"));
    EXPECT_EQ(releases[1]->AlbumName(), QStringLiteral("Tone (single)"));

    // AcoustID once, MusicBrainz once: the primary search found releases.
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].path, QStringLiteral("/v2/lookup"));
    EXPECT_EQ(requests[1].path, QStringLiteral("/ws/2/recording/"));
    EXPECT_TRUE(requests[1].query.startsWith(QStringLiteral("query=arid:artist-1")));
}

// A stop lets the file being fingerprinted finish its stage and leaves the
// waiting ones queued; the operation's finish comes at once.
TEST_F(HLVFileManagerIdentify, StopLeavesWaitingFilesQueued)
{
    server.setReply(QStringLiteral("/v2/lookup"), HLVLoopbackServer::Reply::json(kAcoustIDReply).delayed(400ms));
    QList<std::shared_ptr<HLVFileData>> records;
    for (const char* name : {"a.mp3", "b.mp3", "c.mp3"})
        records.append(HLVFileData::createWithPath(files.copyFixture(QStringLiteral("tone.mp3"), QLatin1String(name))));
    Events events;
    HLVFileManager manager;
    manager.addDelegate(&events);
    for (const auto& record : records)
        manager.addFileData(record);
    manager.identifyFiles(records);
    ASSERT_TRUE(server.waitForRequests(1, 30s));
    EXPECT_TRUE(manager.stopIdentifying());
    EXPECT_EQ(events.waitFor(QStringLiteral("finish 5")), QStringList({"start 5", "finish 5"}));

    // The first file's lookup still answers: it moves on to state 2 and stays there.
    for (int i = 0; i < 300 && records[0]->IdentificationState() != HLVIdentificationLookingUp; ++i)
        std::this_thread::sleep_for(10ms);
    manager.waitUntilIdle();
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(records[0]->IdentificationState(), HLVIdentificationLookingUp);
    EXPECT_EQ(records[1]->IdentificationState(), HLVIdentificationQueued);
    EXPECT_EQ(records[2]->IdentificationState(), HLVIdentificationQueued);
    EXPECT_EQ(server.requests().size(), 1u); // no release query, no second lookup
    EXPECT_EQ(events.take(), QStringList({"start 5", "finish 5"}));
    manager.removeDelegate(&events);
}

// Fault: after a stop, a new identification let the stopped files be
// fingerprinted anyway and counted toward the new operation.
TEST_F(HLVFileManagerIdentify, StoppedFilesStayStoppedWhenANewRunBegins)
{
    server.setReply(QStringLiteral("/v2/lookup"), HLVLoopbackServer::Reply::json(kAcoustIDReply).delayed(400ms));
    QList<std::shared_ptr<HLVFileData>> records;
    for (const char* name : {"a.mp3", "b.mp3", "c.mp3", "d.mp3"})
        records.append(HLVFileData::createWithPath(files.copyFixture(QStringLiteral("tone.mp3"), QLatin1String(name))));
    Events events;
    HLVFileManager manager;
    manager.addDelegate(&events);
    for (const auto& record : records)
        manager.addFileData(record);
    manager.identifyFiles(records.mid(0, 3));
    ASSERT_TRUE(server.waitForRequests(1, 30s));
    manager.stopIdentifying();
    manager.identifyFiles({records[3]});
    for (int i = 0; i < 600 && records[3]->IdentificationState() != HLVIdentificationIdentified; ++i)
        std::this_thread::sleep_for(20ms);
    manager.waitUntilIdle();
    std::this_thread::sleep_for(1500ms); // time for stray work to show
    EXPECT_EQ(records[3]->IdentificationState(), HLVIdentificationIdentified);
    for (int i = 1; i < 3; ++i) {
        EXPECT_EQ(records[i]->IdentificationState(), HLVIdentificationQueued);
        EXPECT_FALSE(records[i]->existingVirtualTagMap());
    }
    int lookups = 0;
    for (const auto& request : server.requests())
        lookups += request.path == QStringLiteral("/v2/lookup");
    EXPECT_EQ(lookups, 2); // the first file's and the new run's
    const QStringList seen = events.take();
    EXPECT_EQ(seen.count(QStringLiteral("finish 5")), 2);
    EXPECT_EQ(seen.count(QStringLiteral("5 d.mp3")), 1);
    manager.removeDelegate(&events);
}

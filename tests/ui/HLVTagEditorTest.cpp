#include "HLVArtworkFolder.h"
#include "HLVArtworkWindowController.h"
#include "HLVCannedReplies.h"
#include "HLVCustomTagEditorViewController.h"
#include "HLVExpandingView.h"
#include "HLVFileDetailsView.h"
#include "HLVFileManager.h"
#include "HLVEventLoopWait.h"
#include "HLVFileManagerBridge.h"
#include "HLVFileManagerEvents.h"
#include "HLVGlyphIcon.h"
#include "HLVHoverButton.h"
#include "HLVLoopbackServer.h"
#include "HLVOpenedAddresses.h"
#include "HLVMusicBrainzServer.h"
#include "HLVServiceConfiguration.h"
#include "HLVTagEditorDelegate.h"
#include "HLVTagEditorViewController.h"
#include "HLVTagField.h"
#include "HLVTagTextField.h"
#include "HLVTestFiles.h"
#include "HLVWidgetGallery.h"
#include "HLVViewJobs.h"

#include <QFile>
#include <QMessageBox>
#include <QAction>
#include <QApplication>
#include <QAudioOutput>
#include <QBuffer>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QMediaPlayer>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QProgressBar>
#include <QScreen>
#include <QScrollArea>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/tag.h>
#include <taglib/xiphcomment.h>

namespace {

struct EditorOwner : HLVTagEditorDelegate
{
    explicit EditorOwner(HLVFileManager* manager) : manager(manager) {}
    QWidget* windowToDisplayTagEditorDialogs() override { return nullptr; }
    HLVFileManager* tagEditorFileManagerSource() override { return manager; }
    void tagEditorFileWasModified(HLVTagEditorViewController*) override { ++modifications; }
    HLVFileManager* manager;
    int modifications = 0;
};

QByteArray encoded(const QImage& image, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

QImage picture(int width, int height, QColor colour)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

// The first attached picture of an MP3, read with TagLib; empty when none.
QByteArray embeddedPicture(const QString& path)
{
    TagLib::MPEG::File file(QFile::encodeName(path).constData());
    TagLib::ID3v2::Tag* tag = file.ID3v2Tag();
    if (!tag || tag->frameListMap()["APIC"].isEmpty())
        return QByteArray();
    const auto* frame = static_cast<TagLib::ID3v2::AttachedPictureFrame*>(tag->frameListMap()["APIC"].front());
    return QByteArray(frame->picture().data(), int(frame->picture().size()));
}

QString savedText(const QString& path, TagLib::String (TagLib::Tag::*read)() const)
{
    TagLib::FileRef file(QFile::encodeName(path).constData());
    if (file.isNull() || !file.tag())
        return QStringLiteral("<unreadable>");
    return QString::fromStdString(((*file.tag()).*read)().to8Bit(true));
}

std::unique_ptr<QMimeData> dragOfFile(const QString& path)
{
    auto data = std::make_unique<QMimeData>();
    data->setUrls({QUrl::fromLocalFile(path)});
    return data;
}

// Sends a real drag and drop to the well; answers whether the drag and the drop were taken.
std::pair<bool, bool> dragOnto(QWidget* well, const QMimeData* data)
{
    const QPoint centre = well->rect().center();
    QDragEnterEvent enter(centre, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(well, &enter);
    QDropEvent drop(QPointF(centre), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(well, &drop);
    return {enter.isAccepted(), drop.isAccepted()};
}

class HLVTagEditorTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        manager.addDelegate(&events);
        editor = std::make_unique<HLVTagEditorViewController>();
        editor->setAnimationDuration(0);
        editor->setDelegate(&owner);
        editor->resize(720, 520);
    }
    void TearDown() override
    {
        editor.reset();
        manager.removeDelegate(&events);
    }

    // A fixture copy with tags written by TagLib, added to the manager.
    std::shared_ptr<HLVFileData> addFile(const QString& name, const QString& album = QString(),
                                         const QString& artist = QString(), const QString& title = QString())
    {
        const QString path = files.copyFixture(QStringLiteral("tone.mp3"), name);
        TagLib::FileRef file(QFile::encodeName(path).constData());
        file.tag()->setAlbum(TagLib::String(album.toStdString(), TagLib::String::UTF8));
        file.tag()->setArtist(TagLib::String(artist.toStdString(), TagLib::String::UTF8));
        file.tag()->setTitle(TagLib::String(title.toStdString(), TagLib::String::UTF8));
        file.save();
        auto record = HLVFileData::createWithPath(path);
        manager.addFileData(record);
        return record;
    }

    void saveAndWait(const QList<std::shared_ptr<HLVFileData>>& records)
    {
        events.take();
        // Until the editor has heard the end of the save through the bridge,
        // and summed up the saved values again.
        bool finished = false;
        const auto bridge = HLVFileManagerBridge::forManager(&manager);
        const auto connection = QObject::connect(bridge.get(), &HLVFileManagerBridge::operationFinished,
                                                 [&](int kind) { finished = finished || kind == HLVFileOperationSaving; });
        manager.saveFilesInUnmanagedArray(records);
        EXPECT_TRUE(HLVSpinEventLoopUntil([&] { return finished; }, 20000));
        QObject::disconnect(connection);
        HLVViewJobs::waitForAll(30000);
    }

    HLVTagTextField* field(const char* key) const { return editor->textFieldForKey(QLatin1String(key)); }

    HLVTestFiles files;
    HLVFileManager manager;
    HLVFileManagerEvents events;
    EditorOwner owner{&manager};
    std::unique_ptr<HLVTagEditorViewController> editor;
};

// Tests that paint the editor on screen, which Qt does with threads of its own
// that ThreadSanitizer cannot follow; they run none of ours.
class HLVTagEditorOnScreen : public HLVTagEditorTest
{
};

} // namespace

TEST_F(HLVTagEditorTest, SeveralFilesShowWhatTheirPendingChangesShareAndEditsReachEveryFile)
{
    auto first = addFile(QStringLiteral("a.mp3"));
    auto second = addFile(QStringLiteral("b.mp3"));
    auto pend = [](const QString& artist, int compilation, const QString& tempo) {
        return [=](HLVTagMap& map) {
            map.setAlbumName(QStringLiteral("X"));
            map.setArtistName(artist);
            map.setReleaseYear(artist == QLatin1String("A") ? 2001 : 2002);
            map.setTrackNumber(0);
            map.setCompilation(compilation);
            map.setCustomTagValues(HLVCustomTagValueArray{
                std::make_shared<HLVCustomTagValue>(QStringLiteral("TMOO"), QStringLiteral("calm")),
                std::make_shared<HLVCustomTagValue>(QStringLiteral("TIT3"), tempo)});
        };
    };
    first->editVirtualTagMap(pend(QStringLiteral("A"), 1, QStringLiteral("fast")));
    second->editVirtualTagMap(pend(QStringLiteral("B"), 1, QStringLiteral("slow")));

    editor->displayFileDataSet({first, second});
    HLVViewJobs::waitForAll(30000);
    EXPECT_EQ(field("AlbumName")->text(), QStringLiteral("X"));
    EXPECT_EQ(field("ArtistName")->text(), QString());
    EXPECT_EQ(field("ArtistName")->placeholderText(), QStringLiteral("Multiple values")) << "A and B once applied";
    EXPECT_EQ(field("TrackNumber")->text(), QString()) << "a shared 0 shows empty";
    // The narrow year field says so in full view.
    HLVTagTextField* year = field("ReleaseYear");
    EXPECT_FALSE(year->placeholderText().isEmpty());
    EXPECT_LE(year->fontMetrics().horizontalAdvance(year->placeholderText()), year->width() - 8);
    EXPECT_TRUE(editor->compilationButton()->isChecked());
    EXPECT_EQ(editor->artworkTitle(), QStringLiteral("Multiple artwork"));
    EXPECT_TRUE(editor->playTrackBox()->isHidden());
    const HLVCustomTagValueArray common = editor->customTagEditorViewController()->customTagValues();
    ASSERT_EQ(common.size(), 2);
    EXPECT_EQ(common.at(0)->value(), QStringLiteral("calm"));
    EXPECT_EQ(common.at(1)->value(), QStringLiteral("")) << "a value that differs stays, empty";

    second->setVirtualTagNumber(*HLVTagField::withKey(QStringLiteral("Compilation")), 0);
    editor->displayFileDataSet({first, second});
    HLVViewJobs::waitForAll(30000);
    EXPECT_FALSE(editor->compilationButton()->isChecked()) << "on only when every file says so";

    // Typing and a forced commit write the text into every file and tell the manager once.
    HLVTagTextField* genre = field("Genre");
    QTest::keyClicks(genre, QStringLiteral("Jazz"));
    EXPECT_FALSE(genre->DidFinishEditing());
    editor->confirmChanges();
    EXPECT_TRUE(genre->DidFinishEditing());
    EXPECT_EQ(owner.modifications, 1);
    EXPECT_EQ(manager.ModifiedFileDataArray().size(), 2);
    for (const auto& record : {first, second})
        EXPECT_EQ(record->VirtualTagMap()->Genre(), QStringLiteral("Jazz"));
    EXPECT_TRUE(genre->IsChangedFromSaved());

    saveAndWait({first, second});
    EXPECT_EQ(savedText(first->FilePath(), &TagLib::Tag::genre), QStringLiteral("Jazz"));
    EXPECT_EQ(savedText(second->FilePath(), &TagLib::Tag::genre), QStringLiteral("Jazz"));
    EXPECT_EQ(savedText(first->FilePath(), &TagLib::Tag::album), QStringLiteral("X"));
    EXPECT_EQ(savedText(first->FilePath(), &TagLib::Tag::artist), QStringLiteral("A"));
    EXPECT_EQ(savedText(second->FilePath(), &TagLib::Tag::artist), QStringLiteral("B"));
    EXPECT_FALSE(genre->IsChangedFromSaved()) << "the saved value is now the shown one";

    // Saved values the files share are shown, differing ones say so, and
    // neither is written by a save of another field.
    auto third = addFile(QStringLiteral("c.mp3"), QStringLiteral("Shared"), QStringLiteral("Same"), QStringLiteral("One"));
    auto fourth = addFile(QStringLiteral("d.mp3"), QStringLiteral("Shared"), QStringLiteral("Same"), QStringLiteral("Two"));
    editor->displayFileDataSet({third, fourth});
    HLVViewJobs::waitForAll(30000);
    EXPECT_EQ(field("AlbumName")->text(), QStringLiteral("Shared"));
    EXPECT_EQ(field("AlbumName")->placeholderText(), QString());
    EXPECT_FALSE(field("AlbumName")->IsChangedFromSaved());
    EXPECT_EQ(field("TrackName")->text(), QString());
    EXPECT_EQ(field("TrackName")->placeholderText(), QStringLiteral("Multiple values"));
    QTest::keyClicks(field("Comment"), QStringLiteral("note"));
    editor->confirmChanges();
    for (const auto& record : {third, fourth}) {
        const auto pending = record->VirtualTagMap();
        EXPECT_EQ(pending->Comment(), QStringLiteral("note"));
        EXPECT_FALSE(pending->AlbumName()) << "not edited, not written";
        EXPECT_FALSE(pending->TrackName());
    }

    // The same picture on every file is shown; different ones are not.
    const HLVArtwork cover(picture(30, 20, Qt::blue));
    for (const auto& record : {third, fourth})
        record->chooseArtwork(cover, files.path(QStringLiteral("cover.png")));
    editor->displayFileDataSet({third, fourth});
    HLVViewJobs::waitForAll(30000);
    EXPECT_EQ(editor->artworkImage().size(), QSize(30, 20));
    fourth->chooseArtwork(HLVArtwork(picture(30, 20, Qt::red)), files.path(QStringLiteral("other.png")));
    editor->displayFileDataSet({third, fourth});
    HLVViewJobs::waitForAll(30000);
    EXPECT_EQ(editor->artworkTitle(), QStringLiteral("Multiple artwork"));
}

TEST_F(HLVTagEditorTest, OneFileCommitsTypedTextAndMarksWhatASaveWouldChange)
{
    auto record = addFile(QStringLiteral("one.mp3"), QStringLiteral("Album"), QStringLiteral("Artist"),
                          QStringLiteral("Old"));
    editor->displayFileData(record);
    HLVViewJobs::waitForAll(30000);
    HLVTagTextField* title = field("TrackName");
    EXPECT_EQ(title->text(), QStringLiteral("Old"));
    EXPECT_FALSE(title->font().bold());
    EXPECT_EQ(field("TrackNumber")->text(), QString());

    title->selectAll();
    QTest::keyClicks(title, QStringLiteral("New Title"));
    EXPECT_TRUE(title->font().bold());
    EXPECT_TRUE(title->toolTip().contains(QStringLiteral("Old"))) << title->toolTip().toStdString();
    EXPECT_TRUE(record->IsModified());
    EXPECT_EQ(manager.ModifiedFileDataArray().size(), 1);
    EXPECT_FALSE(record->VirtualTagMap()->TrackName()) << "nothing is written before the typing ends";
    editor->confirmChanges(); // what the save button does first
    EXPECT_EQ(record->VirtualTagMap()->TrackName(), QStringLiteral("New Title"));

    // Spaces only count as empty: the empty text is written, not the spaces.
    HLVTagTextField* artist = field("ArtistName");
    artist->selectAll();
    QTest::keyClicks(artist, QStringLiteral("   "));
    QTest::keyClick(artist, Qt::Key_Return);
    EXPECT_EQ(record->VirtualTagMap()->ArtistName(), QStringLiteral(""));
    HLVTagTextField* track = field("TrackNumber");
    QTest::keyClicks(track, QStringLiteral("7"));
    QTest::keyClick(track, Qt::Key_Return);
    EXPECT_EQ(record->VirtualTagMap()->TrackNumber(), 7);
    EXPECT_EQ(owner.modifications, 1) << "only the first change since the display is reported";

    saveAndWait({record});
    EXPECT_EQ(savedText(record->FilePath(), &TagLib::Tag::title), QStringLiteral("New Title"));
    EXPECT_EQ(savedText(record->FilePath(), &TagLib::Tag::artist), QString());
    EXPECT_EQ(savedText(record->FilePath(), &TagLib::Tag::album), QStringLiteral("Album"));
    EXPECT_FALSE(title->font().bold());

    // An edit after the save, with the editor left as it was, is a new modification.
    QTest::keyClicks(field("Comment"), QStringLiteral("later"));
    editor->confirmChanges();
    EXPECT_TRUE(record->IsModified());
    saveAndWait({record});
    EXPECT_EQ(savedText(record->FilePath(), &TagLib::Tag::comment), QStringLiteral("later"));
}

TEST_F(HLVTagEditorTest, ShowsEachFilesOwnDetailsAndOpensItsFolder)
{
    // Five-second fixtures, each given a picture and a title through TagLib;
    // what the audio is, as TagLib reads it from the headers.
    QList<std::shared_ptr<HLVFileData>> records;
    QStringList audio; // bit rate, sample rate and channels
    int mp4Items = 0;
    unsigned xiphFields = 0;
    int flacDepth = 0;
    for (const char* name : {"tone.mp3", "tone.m4a", "tone.flac"}) {
        const QString path = files.copyFixtureWithPicture(QLatin1String(name));
        TagLib::FileRef file(QFile::encodeName(path).constData());
        const TagLib::AudioProperties* properties = file.audioProperties();
        audio.append(QStringLiteral("%1 kbit/s · %2 kHz · %3")
                         .arg(properties->bitrate())
                         .arg(QLocale().toString(properties->sampleRate() / 1000.0))
                         .arg(properties->channels() == 1 ? QStringLiteral("mono") : QStringLiteral("stereo")));
        if (auto* mp4 = dynamic_cast<TagLib::MP4::File*>(file.file()))
            mp4Items = int(mp4->tag()->itemMap().size());
        if (auto* flac = dynamic_cast<TagLib::FLAC::File*>(file.file())) {
            xiphFields = flac->xiphComment()->fieldCount();
            flacDepth = flac->audioProperties()->bitsPerSample();
        }
        records.append(HLVFileData::createWithPath(path));
        manager.addFileData(records.last());
    }
    HLVFileDetailsView* details = editor->fileDetailsView();
    const auto size = [](const std::shared_ptr<HLVFileData>& record) {
        return QFileInfo(record->FilePath()).size();
    };
    struct Expected
    {
        QString format, tags, picture;
    };
    const Expected expected[] = {
        {QStringLiteral("MP3 (MPEG-2.5 Layer 3) · 0:05 · ") + audio[0], QStringLiteral("ID3v2.4, ID3v1"),
         QStringLiteral("Back cover · PNG · 3 × 2 · ")},
        {QStringLiteral("MPEG-4 (AAC) · 0:05 · ") + audio[1], QStringLiteral("MP4 items (%1)").arg(mp4Items),
         QStringLiteral("JPEG · 4 × 4 · ")},
        {QStringLiteral("FLAC · %1-bit · 0:05 · ").arg(flacDepth) + audio[2],
         QStringLiteral("Xiph comment (%1 fields)").arg(xiphFields), QStringLiteral("Front cover · PNG · 5 × 3 · ")},
    };
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(records[i]->FileName().toStdString());
        editor->displayFileData(records[i]);
        HLVViewJobs::waitForAll(30000);
        EXPECT_EQ(details->formatLabel()->text(), expected[i].format);
        EXPECT_EQ(details->tagsLabel()->text(), expected[i].tags);
        EXPECT_TRUE(details->pictureLabel()->text().startsWith(expected[i].picture)) << details->pictureLabel()->text().toStdString();
        EXPECT_EQ(details->sizeLabel()->text(), HLVFileDetailsView::sizeText(size(records[i])));
        EXPECT_EQ(details->folder(), QFileInfo(records[i]->FilePath()).absolutePath());
        EXPECT_EQ(details->folderLabel()->toolTip(), QDir::toNativeSeparators(details->folder()));
    }

    // A save that makes the file larger shows its new size.
    const QString before = details->sizeLabel()->text();
    records[2]->setVirtualTagText(*HLVTagField::withKey(QStringLiteral("Comment")), QString(20000, QLatin1Char('x')));
    records[2]->forceIsModified();
    saveAndWait({records[2]});
    ASSERT_EQ(savedText(records[2]->FilePath(), &TagLib::Tag::comment).size(), 20000);
    EXPECT_EQ(details->sizeLabel()->text(), HLVFileDetailsView::sizeText(size(records[2])));
    EXPECT_NE(details->sizeLabel()->text(), before);

    // Several files: how many, their formats, their length and size in all,
    // their shared folder; no tag or picture rows.
    editor->displayFileDataSet(records);
    HLVViewJobs::waitForAll(30000);
    EXPECT_EQ(details->formatLabel()->text(), QStringLiteral("3 files · MP3, MPEG-4, FLAC · 0:15 in all"));
    EXPECT_TRUE(details->tagsLabel()->isHidden());
    EXPECT_TRUE(details->pictureLabel()->isHidden());
    EXPECT_EQ(details->sizeLabel()->text(),
              HLVFileDetailsView::sizeText(size(records[0]) + size(records[1]) + size(records[2])) + " in all");
    EXPECT_FALSE(details->openFolderButton()->isHidden());
    auto elsewhere = HLVFileData::createWithPath(QDir::tempPath() + QStringLiteral("/unread elsewhere.mp3"));
    editor->displayFileDataSet({records[0], elsewhere});
    HLVViewJobs::waitForAll(30000);
    EXPECT_EQ(details->formatLabel()->text(), QStringLiteral("2 files · MP3 · 0:05 in all · 1 not read"));
    EXPECT_EQ(details->folderLabel()->toolTip(), QStringLiteral("several folders"));
    EXPECT_TRUE(details->openFolderButton()->isHidden());

    // The button shows the folder in the file manager; when none takes it, an alert says so.
    editor->displayFileData(records[0]);
    HLVViewJobs::waitForAll(30000);
    {
        HLVOpenedAddresses desktop;
        details->openFolderButton()->click();
        EXPECT_EQ(desktop.opened, QList<QUrl>{QUrl::fromLocalFile(details->folder())});
        EXPECT_FALSE(editor->findChild<QMessageBox*>(QStringLiteral("openFolderAlert")));
    }
    QDesktopServices::setUrlHandler(QStringLiteral("file"), details, "noSuchSlot");
    details->openFolderButton()->click();
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    auto* alert = editor->findChild<QMessageBox*>(QStringLiteral("openFolderAlert"));
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->text(), QStringLiteral("Could not open the folder"));
    EXPECT_TRUE(alert->informativeText().contains(QDir::toNativeSeparators(details->folder())));
    alert->close();
}

TEST_F(HLVTagEditorTest, CustomTagRowsChangeThePendingMapsOfEveryFileShown)
{
    auto first = addFile(QStringLiteral("c1.mp3"));
    auto second = addFile(QStringLiteral("c2.mp3"));
    editor->displayFileDataSet({first, second});
    HLVViewJobs::waitForAll(30000);
    HLVCustomTagEditorViewController* rows = editor->customTagEditorViewController();
    rows->setIsInEditMode(true);
    rows->allowToUpdateIdentifierFrom(QString(), QStringLiteral("TCOP")); // typed into the entry row
    rows->customTagWithIdentifierValueUpdated(QStringLiteral("TCOP"), QStringLiteral("Cadrelle 2026"));
    EXPECT_EQ(owner.modifications, 2);
    EXPECT_EQ(manager.ModifiedFileDataArray().size(), 2);
    saveAndWait({first, second});
    for (const auto& record : {first, second}) {
        TagLib::MPEG::File file(QFile::encodeName(record->FilePath()).constData());
        ASSERT_TRUE(file.ID3v2Tag());
        const auto frames = file.ID3v2Tag()->frameListMap()["TCOP"];
        ASSERT_FALSE(frames.isEmpty()) << record->FileName().toStdString();
        EXPECT_EQ(frames.front()->toString(), TagLib::String("Cadrelle 2026"));
    }

    // Removing marks the pending value; the record's own values stay untouched.
    editor->displayFileData(first);
    HLVViewJobs::waitForAll(30000);
    const auto before = first->InitialTagMap();
    rows->removeCustomTagSelected(QStringLiteral("TCOP"));
    const auto pending = first->VirtualTagMap()->CustomTagValues();
    ASSERT_TRUE(pending);
    const auto removed = HLVCustomTagValue::customTagValueWithIdentifier(QStringLiteral("TCOP"), *pending);
    ASSERT_TRUE(removed);
    EXPECT_TRUE(removed->isMarkedForRemoval());
    EXPECT_EQ(removed->value(), QStringLiteral(""));
    ASSERT_TRUE(before->CustomTagValues());
    for (const auto& value : *before->CustomTagValues())
        EXPECT_FALSE(value->isMarkedForRemoval()) << value->identifier().toStdString();
}

TEST_F(HLVTagEditorTest, GrowsAndShrinksWithTheCustomTagSection)
{
    editor->displayFileData(addFile(QStringLiteral("grow.mp3")));
    HLVViewJobs::waitForAll(30000);
    editor->show();
    const int collapsed = editor->height();
    editor->customTagsSection()->expand();
    const int grown = editor->height();
    EXPECT_GT(grown, collapsed);
    EXPECT_EQ(editor->width(), 720);
    editor->customTagsSection()->collapse();
    EXPECT_EQ(editor->height(), collapsed);
}

TEST_F(HLVTagEditorOnScreen, TabMovesThroughTheFieldsInTableOrder)
{
    editor->displayFileData(addFile(QStringLiteral("tab.mp3")));
    HLVViewJobs::waitForAll(30000);
    editor->show();
    QApplication::setActiveWindow(editor.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(editor.get()));
    const QList<HLVTagTextField*> fields = editor->textFields();
    ASSERT_EQ(fields.size(), 13);
    fields.first()->setFocus(Qt::TabFocusReason);
    for (qsizetype i = 1; i < fields.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), fields.at(i)) << "after " << fields.at(i - 1)->objectName().toStdString();
    }
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), editor->compilationButton());
}

TEST_F(HLVTagEditorTest, TheArtworkWellTakesDroppedAndPastedPicturesAndRestores)
{
    auto record = addFile(QStringLiteral("art.mp3"));
    const QString png = files.writeFile(QStringLiteral("cover.PNG"), encoded(picture(64, 48, Qt::red), "PNG"));
    const QString tiff = files.writeFile(QStringLiteral("cover.tiff"), encoded(picture(64, 48, Qt::red), "PNG"));
    QWidget* well = editor->viewArtworkButton();

    EXPECT_EQ(dragOnto(well, dragOfFile(png).get()), std::make_pair(false, false)) << "nothing shown, nothing taken";
    editor->displayFileData(record);
    HLVViewJobs::waitForAll(30000);
    EXPECT_EQ(editor->artworkTitle(), QStringLiteral("No artwork"));
    EXPECT_FALSE(editor->removeArtworkButton()->isEnabled());

    EXPECT_EQ(dragOnto(well, dragOfFile(tiff).get()), std::make_pair(false, false));
    EXPECT_EQ(record->VirtualTagMap()->ArtworkState(), HLVArtworkStateInFile);
    EXPECT_EQ(dragOnto(well, dragOfFile(png).get()), std::make_pair(true, true));
    EXPECT_EQ(editor->artworkImage().size(), QSize(64, 48));
    auto pending = record->VirtualTagMap();
    EXPECT_EQ(pending->ArtworkState(), HLVArtworkStateChosen);
    EXPECT_EQ(pending->ArtworkPath(), png);
    EXPECT_TRUE(editor->removeArtworkButton()->isEnabled());
    EXPECT_TRUE(editor->restoreArtworkButton()->isEnabled()) << "the picture just loaded can be undone";
    EXPECT_EQ(manager.ModifiedFileDataArray().size(), 1);

    editor->restoreArtworkButtonPressed();
    pending = record->VirtualTagMap();
    EXPECT_EQ(editor->artworkTitle(), QStringLiteral("No artwork"));
    EXPECT_TRUE(editor->artworkImage().isNull());
    EXPECT_EQ(pending->ArtworkState(), HLVArtworkStateInFile);
    EXPECT_FALSE(pending->ArtworkPath());
    EXPECT_TRUE(pending->Artwork().isNull());

    // Paste: any picture on the clipboard, kept as a JPEG in this process's artwork folder.
    const QString folder = HLVArtworkFolder::path();
    ASSERT_FALSE(folder.isEmpty());
    const QStringList before = QDir(folder).entryList({QStringLiteral("*.jpg")}, QDir::Files);
    QImage translucent(40, 30, QImage::Format_ARGB32);
    translucent.fill(QColor(0, 0, 255, 128));
    QGuiApplication::clipboard()->setImage(translucent);
    // The well's own actions, whatever a translation calls them; another action
    // titled "Paste" is not one of them.
    QAction* paste = editor->findChild<QAction*>(QStringLiteral("pasteArtworkAction"));
    QAction* copy = editor->findChild<QAction*>(QStringLiteral("copyArtworkAction"));
    ASSERT_TRUE(paste && copy);
    paste->setText(QStringLiteral("Einfügen"));
    copy->setText(QStringLiteral("Kopieren"));
    QAction other(QStringLiteral("Paste"));
    EXPECT_TRUE(editor->validateMenuItem(paste));
    EXPECT_FALSE(editor->validateMenuItem(copy)) << "the well shows no picture";
    EXPECT_FALSE(editor->validateMenuItem(&other));
    HLVFailure failure;
    EXPECT_TRUE(editor->pasteImage(&failure)) << failure.message.toStdString();
    QStringList stored = QDir(folder).entryList({QStringLiteral("*.jpg")}, QDir::Files);
    for (const QString& old : before)
        stored.removeOne(old);
    ASSERT_EQ(stored.size(), 1);
    const QString jpeg = folder + QLatin1Char('/') + stored.first();
    EXPECT_TRUE(HLVTestFiles::readAll(jpeg).startsWith("\xFF\xD8\xFF"));
    EXPECT_EQ(record->VirtualTagMap()->ArtworkPath(), jpeg);
    EXPECT_EQ(record->VirtualTagMap()->ArtworkState(), HLVArtworkStateChosen);
    EXPECT_TRUE(editor->validateMenuItem(copy));
    QGuiApplication::clipboard()->clear();
    EXPECT_FALSE(editor->validateMenuItem(paste));
    EXPECT_FALSE(editor->pasteImage(&failure));
    editor->copyImage();
    EXPECT_EQ(QGuiApplication::clipboard()->image().size(), QSize(40, 30));

    saveAndWait({record});
    EXPECT_EQ(embeddedPicture(record->FilePath()), HLVTestFiles::readAll(jpeg));

    // The saved picture is now the file's own: removing it can be undone.
    editor->displayFileData(record);
    HLVViewJobs::waitForAll(30000);
    EXPECT_EQ(editor->artworkImage().size(), QSize(40, 30));
    EXPECT_FALSE(editor->restoreArtworkButton()->isEnabled()) << "nothing is left to undo once saved";
    editor->removeArtworkButtonPressed();
    EXPECT_EQ(editor->artworkTitle(), QStringLiteral("No artwork"));
    EXPECT_EQ(record->VirtualTagMap()->ArtworkState(), HLVArtworkStateRemove);
    EXPECT_TRUE(editor->restoreArtworkButton()->isEnabled());
    saveAndWait({record});
    EXPECT_TRUE(embeddedPicture(record->FilePath()).isEmpty());
}

TEST_F(HLVTagEditorTest, AFoundPictureIsFetchedOffTheMainThreadAndShown)
{
    auto record = addFile(QStringLiteral("found.mp3"), QStringLiteral("Album"));
    const QString found = files.writeFile(QStringLiteral("found.jpg"), encoded(picture(80, 80, Qt::green), "JPG"));
    record->editVirtualTagMap([&](HLVTagMap& map) {
        map.setArtworkPath(found);
        map.setArtworkState(HLVArtworkStateFound);
    });
    editor->displayFileData(record);
    HLVViewJobs::waitForAll(30000);
    EXPECT_TRUE(editor->isArtworkLoading());
    EXPECT_EQ(editor->artworkTitle(), QString());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !editor->artworkImage().isNull(); }, 10000));
    EXPECT_FALSE(editor->isArtworkLoading());
    EXPECT_TRUE(editor->restoreArtworkButton()->isEnabled());
    auto pending = record->VirtualTagMap();
    EXPECT_EQ(pending->ArtworkState(), HLVArtworkStateChosen);
    EXPECT_EQ(pending->Artwork().size(), QSize(80, 80));

    // Nothing at the address: the well says so and nothing is to be written.
    record->editVirtualTagMap([&](HLVTagMap& map) {
        map.setArtworkPath(files.path(QStringLiteral("gone.jpg")));
        map.setArtworkState(HLVArtworkStateFound);
    });
    editor->displayFileData(record);
    HLVViewJobs::waitForAll(30000);
    EXPECT_TRUE(QTest::qWaitFor([&] { return editor->artworkTitle() == QLatin1String("No Artwork"); }, 10000));
    EXPECT_FALSE(editor->isArtworkLoading());
    EXPECT_EQ(record->VirtualTagMap()->ArtworkState(), HLVArtworkStateNone);
}

// The whole road of the download command: the manager's lookup, its notices
// through the bridge and the fetch of the found address on a worker. Cover
// addresses are always fetched over https, which the loopback server does not
// speak, so the found picture cannot be fetched here: the well says so.
TEST_F(HLVTagEditorTest, DownloadLooksUpACoverThroughTheFileManagerAndFetchesIt)
{
    HLVLoopbackServer server;
    qputenv("CADRELLE_COVERART_URL", server.baseAddress().toUtf8());
    qputenv("CADRELLE_MUSICBRAINZ_URL", server.baseAddress().toUtf8());
    HLVMusicBrainzServer::resetForTesting();
    HLVServiceConfiguration::setRequestPauseForTesting(std::chrono::milliseconds(10));
    // Nothing listens on port 1: the fetch is refused at once.
    server.setReply(QStringLiteral("/release/rel-x/"),
                    HLVLoopbackServer::Reply::json(HLVCannedReplies::coverListing(QStringLiteral("http://127.0.0.1:1/cover.png"))));

    auto record = addFile(QStringLiteral("download.mp3"), QStringLiteral("Album"));
    record->editVirtualTagMap([](HLVTagMap& map) { map.setReleaseMBID(QStringLiteral("rel-x")); });
    editor->displayFileData(record);
    HLVViewJobs::waitForAll(30000);
    EXPECT_TRUE(editor->downloadArtworkButton()->isEnabled());
    editor->downloadArtworkButtonPressed();
    EXPECT_TRUE(QTest::qWaitFor([&] { return editor->artworkTitle() == QLatin1String("No Artwork"); }, 20000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !editor->isArtworkLoading(); }, 5000));
    EXPECT_TRUE(editor->loadArtworkButton()->isEnabled());
    EXPECT_TRUE(editor->downloadArtworkButton()->isEnabled());
    const auto pending = record->VirtualTagMap();
    EXPECT_EQ(pending->ArtworkPath(), QStringLiteral("https://127.0.0.1:1/cover.png"));
    EXPECT_EQ(pending->ArtworkState(), HLVArtworkStateNone) << "a picture that did not come is not written";
    EXPECT_EQ(server.requests().size(), 1u);

    manager.shutdown();
    HLVServiceConfiguration::resetPacingForTesting();
    HLVMusicBrainzServer::resetForTesting();
    qunsetenv("CADRELLE_COVERART_URL");
    qunsetenv("CADRELLE_MUSICBRAINZ_URL");
}

TEST(HLVArtworkWindowController, ShowsThePictureAtMost500SquareCentred)
{
    HLVArtworkWindowController window;
    window.showWindowWithArtwork(picture(1200, 800, Qt::blue));
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.size(), QSize(500, 500));
    const QRect screen = window.screen()->availableGeometry();
    EXPECT_LE((window.geometry().center() - screen.center()).manhattanLength(), 2);
    EXPECT_EQ(window.imageView()->pixmap().size(), QSize(500, 333)) << "the picture keeps its proportions";

    window.showWindowWithArtwork(picture(300, 200, Qt::blue));
    EXPECT_EQ(window.size(), QSize(300, 200));
    EXPECT_LE((window.geometry().center() - screen.center()).manhattanLength(), 2);

    window.showWindowWithArtwork(QImage());
    EXPECT_TRUE(window.imageView()->pixmap().isNull());
}

// The preview runs on the media back end's own threads, outside the threaded
// suites that ThreadSanitizer checks.
TEST(HLVTagEditorPreview, PlaysTheFileAtHalfVolumeAndStopsForOtherDisplays)
{
    HLVTestFiles files;
    auto first = HLVFileData::createWithPath(files.copyFixture(QStringLiteral("tone.mp3"), QStringLiteral("play.mp3")));
    auto second = HLVFileData::createWithPath(files.copyFixture(QStringLiteral("tone.mp3"), QStringLiteral("other.mp3")));
    HLVTagEditorViewController editor;
    editor.displayFileData(first);
    HLVViewJobs::waitForAll(30000);
    if (editor.previewUnavailableReason().isEmpty())
        QTest::mouseClick(editor.playTrackButton(), Qt::LeftButton);
    if (!editor.previewUnavailableReason().isEmpty()) {
        EXPECT_FALSE(editor.playTrackButton()->isEnabled());
        EXPECT_EQ(editor.playTrackButton()->toolTip(), editor.previewUnavailableReason());
        GTEST_SKIP() << "no media back end: " << editor.previewUnavailableReason().toStdString();
    }
    EXPECT_EQ(editor.playTrackButton()->text(), QStringLiteral("Stop Track"));
    EXPECT_EQ(editor.playTrackIconButton()->imageName(), QStringLiteral("StopButton"));
    QMediaPlayer* player = editor.audioPlayer();
    ASSERT_NE(player, nullptr);
    EXPECT_FLOAT_EQ(player->audioOutput()->volume(), 0.5f);
    EXPECT_FALSE(player->sourceDevice()) << "streamed from the file, not read into memory";
    EXPECT_EQ(player->source(), QUrl::fromLocalFile(first->FilePath()));
    EXPECT_TRUE(QTest::qWaitFor([&] { return player->position() > 0 || !editor.isPlayingPreview(); }, 8000));
    ASSERT_TRUE(editor.isPlayingPreview()) << player->errorString().toStdString();
    EXPECT_EQ(player->playbackState(), QMediaPlayer::PlayingState);

    editor.displayFileDataSet({first, second});
    HLVViewJobs::waitForAll(30000);
    EXPECT_FALSE(editor.isPlayingPreview());
    EXPECT_EQ(player->playbackState(), QMediaPlayer::StoppedState);
    EXPECT_EQ(editor.playTrackButton()->text(), QStringLiteral("Play Track"));
    EXPECT_EQ(editor.playTrackIconButton()->imageName(), QStringLiteral("PlayButton"));

    editor.displayFileData(first);
    HLVViewJobs::waitForAll(30000);
    editor.playTrackButtonPressed();
    ASSERT_TRUE(editor.isPlayingPreview());
    editor.displayFileData(second);
    HLVViewJobs::waitForAll(30000);
    EXPECT_FALSE(editor.isPlayingPreview()) << "another file stops the preview";

    // A file gone since it was shown: the click is answered with the reason.
    ASSERT_TRUE(QFile::remove(second->FilePath()));
    editor.playTrackButtonPressed();
    auto* alert = editor.findChild<QMessageBox*>(QStringLiteral("previewAlert"));
    ASSERT_NE(alert, nullptr);
    EXPECT_TRUE(alert->informativeText().contains(QStringLiteral("cannot be read")));
}

// QtMultimedia aborts without a back end plugin, and GStreamer without its
// plugins crashes while a player is built: both run in a child process.
TEST(HLVTagEditorPreview, IsDisabledWithAReasonWhereThereIsNoMediaBackEnd)
{
    if (qEnvironmentVariableIsSet("CADRELLE_TEST_NO_MEDIA_CHILD")) {
        HLVTestFiles files;
        HLVTagEditorViewController editor;
        editor.displayFileData(HLVFileData::createWithPath(files.copyFixture(QStringLiteral("tone.mp3"))));
        HLVViewJobs::waitForAll(30000);
        // Known at once without a back end; without its decoders, at the first
        // try, which an alert answers.
        if (editor.playTrackButton()->isEnabled()) {
            editor.playTrackButtonPressed();
            auto* alert = editor.findChild<QMessageBox*>(QStringLiteral("previewAlert"));
            ASSERT_NE(alert, nullptr);
            EXPECT_EQ(alert->informativeText(), editor.previewUnavailableReason());
        }
        EXPECT_FALSE(editor.playTrackButton()->isEnabled());
        EXPECT_FALSE(editor.playTrackIconButton()->isEnabled());
        EXPECT_TRUE(editor.playTrackButton()->toolTip().startsWith(QStringLiteral("Preview not available")))
            << editor.playTrackButton()->toolTip().toStdString();
        EXPECT_FALSE(editor.isPlayingPreview());
        EXPECT_EQ(editor.audioPlayer(), nullptr);
        return;
    }
    QTemporaryDir empty;
    const QList<QList<std::pair<QString, QString>>> settings = {
        {{QStringLiteral("QT_MEDIA_BACKEND"), QStringLiteral("absent")}},
        {{QStringLiteral("GST_PLUGIN_SYSTEM_PATH_1_0"), empty.path()},
         {QStringLiteral("GST_PLUGIN_PATH_1_0"), empty.path()},
         {QStringLiteral("GST_REGISTRY_1_0"), empty.filePath(QStringLiteral("registry.bin"))}},
    };
    for (const auto& setting : settings) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("CADRELLE_TEST_NO_MEDIA_CHILD"), QStringLiteral("1"));
        environment.remove(QStringLiteral("QT_MEDIA_BACKEND"));
        for (const auto& [name, value] : setting)
            environment.insert(name, value);
        QProcess child;
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--gtest_filter=HLVTagEditorPreview.IsDisabledWithAReasonWhereThereIsNoMediaBackEnd")});
        ASSERT_TRUE(child.waitForFinished(120000));
        const QString output = QString::fromLocal8Bit(child.readAll());
        EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << output.toStdString();
        EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
        EXPECT_TRUE(output.contains(QStringLiteral("[  PASSED  ] 1 test"))) << output.toStdString();
    }
}

TEST(HLVHoverButton, LightsUpWithItsPartnerAndShowsTheHandOverTheWell)
{
    HLVHoverButton icon, text;
    ASSERT_TRUE(icon.setImageWithHover(QStringLiteral("PlayButton")));
    text.setText(QStringLiteral("Play Track"));
    text.setLinkedButton(&icon);
    EXPECT_EQ(icon.linkedButton(), &text);

    auto enter = [](QWidget* button) {
        QEnterEvent event(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
        QCoreApplication::sendEvent(button, &event);
    };
    auto leave = [](QWidget* button) {
        QEvent event(QEvent::Leave);
        QCoreApplication::sendEvent(button, &event);
    };
    enter(&text);
    EXPECT_TRUE(icon.isShowingHoverImage()) << "the partner lights up";
    enter(&icon);
    leave(&text);
    EXPECT_TRUE(icon.isShowingHoverImage()) << "moving onto the partner keeps it lit";
    leave(&icon);
    EXPECT_FALSE(icon.isShowingHoverImage());

    icon.setEnabled(false);
    enter(&icon);
    EXPECT_FALSE(icon.isShowingHoverImage()) << "a disabled button does not light up";

    HLVTagEditorViewController editor;
    EXPECT_EQ(editor.viewArtworkButton()->cursor().shape(), Qt::PointingHandCursor);
}

TEST(HLVGlyphIcon, GreyGlyphsTakeTheButtonTextColourOnADarkWindowOnly)
{
    // The mean colour of a pixmap's inked pixels.
    auto ink = [](const QIcon& icon, QIcon::Mode mode = QIcon::Normal) {
        const QImage image = icon.pixmap(QSize(32, 32), mode).toImage().convertToFormat(QImage::Format_ARGB32);
        qint64 red = 0, green = 0, blue = 0, inked = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QRgb pixel = image.pixel(x, y);
                if (qAlpha(pixel) < 128)
                    continue;
                red += qRed(pixel), green += qGreen(pixel), blue += qBlue(pixel), ++inked;
            }
        }
        return inked ? QColor(int(red / inked), int(green / inked), int(blue / inked)) : QColor();
    };
    const QIcon grey = HLVGlyphIcon::load(QStringLiteral(":/images/SaveChanges.svg"));
    const QIcon slate = HLVGlyphIcon::load(QStringLiteral(":/images/FileListAdd.png"));
    const QIcon red = HLVGlyphIcon::load(QStringLiteral(":/images/CustomTagRemove.svg"));
    const QIcon blue = HLVGlyphIcon::load(QStringLiteral(":/images/SaveChangesHover.svg"));
    ASSERT_TRUE(ink(grey).isValid() && ink(slate).isValid() && ink(red).isValid() && ink(blue).isValid());
    const QColor lightGrey = ink(grey), lightRed = ink(red), lightBlue = ink(blue);
    EXPECT_LT(lightGrey.lightness(), 100) << "a light window keeps the glyph as drawn";

    const QPalette light = QApplication::palette();
    QPalette dark(QColor(53, 53, 53), QColor(37, 37, 37));
    dark.setColor(QPalette::Active, QPalette::ButtonText, QColor(230, 230, 230));
    dark.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(120, 120, 120));
    QApplication::setPalette(dark);
    EXPECT_GT(ink(grey).lightness(), 200);
    EXPECT_GT(ink(slate).lightness(), 200);
    EXPECT_LT(ink(grey, QIcon::Disabled).lightness(), 160) << "a disabled glyph stays dimmer";
    EXPECT_EQ(ink(red), lightRed) << "a coloured icon keeps its colours";
    EXPECT_EQ(ink(blue), lightBlue);
    QApplication::setPalette(light);
    EXPECT_EQ(ink(grey), lightGrey) << "back to a light window, back to the drawn ink";
}

TEST_F(HLVTagEditorOnScreen, WritesPicturesOfThePanel)
{
    HLVWidgetGallery gallery;
    auto covered = addFile(QStringLiteral("covered.mp3"), QStringLiteral("Blue Album"), QStringLiteral("The Band"),
                           QStringLiteral("First Song"));
    {
        TagLib::MPEG::File file(QFile::encodeName(covered->FilePath()).constData());
        auto* frame = new TagLib::ID3v2::AttachedPictureFrame;
        QImage cover = picture(300, 300, QColor(40, 90, 170));
        cover.setPixelColor(150, 150, Qt::white);
        const QByteArray bytes = encoded(cover, "JPG");
        frame->setMimeType("image/jpeg");
        frame->setPicture(TagLib::ByteVector(bytes.constData(), unsigned(bytes.size())));
        file.ID3v2Tag(true)->addFrame(frame);
        ASSERT_TRUE(file.save());
    }
    auto second = addFile(QStringLiteral("second.mp3"), QStringLiteral("Blue Album"), QStringLiteral("Guest"),
                          QStringLiteral("Second Song"));
    for (const auto& record : {covered, second}) {
        record->editVirtualTagMap([](HLVTagMap& map) {
            map.setAlbumName(QStringLiteral("Blue Album"));
            map.setCustomTagValues(HLVCustomTagValueArray{
                std::make_shared<HLVCustomTagValue>(QStringLiteral("TBPM"), QStringLiteral("120"))});
        });
    }

    editor->customTagsSection()->expand();
    editor->resize(720, editor->sizeHint().height());
    editor->show();
    editor->displayFileData(covered);
    HLVViewJobs::waitForAll(30000);
    EXPECT_FALSE(editor->artworkImage().isNull());
    gallery.shoot(*editor, QStringLiteral("tag-editor-one-file-with-cover"));

    editor->displayFileDataSet({covered, second});
    HLVViewJobs::waitForAll(30000);
    gallery.shoot(*editor, QStringLiteral("tag-editor-several-files"));

    editor->displayFileData(covered);
    HLVViewJobs::waitForAll(30000);
    QTest::keyClicks(field("Genre"), QStringLiteral("Dream Pop"));
    EXPECT_TRUE(field("Genre")->font().bold());
    gallery.shoot(*editor, QStringLiteral("tag-editor-modified-field"));
}

#include "HLVSelectionCommands.h"
#include "HLVArtworkFolder.h"
#include "HLVFileManager.h"
#include "HLVTagLibWriter.h"
#include "HLVViewJobs.h"

void HLVSelectionCommands::removeTags(QObject* context, const QList<std::shared_ptr<HLVFileData>>& records,
                                      HLVFileManager* manager, HLVCompilationFlag compilation,
                                      std::function<void()> done)
{
    HLVViewJobs::run(context, [records, manager, compilation] {
        if (manager)
            manager->removeTags(records, compilation);
    }, std::move(done));
}

void HLVSelectionCommands::findFirstArtwork(QObject* context, const QList<std::shared_ptr<HLVFileData>>& records,
                                            std::function<void(const Cover&)> done)
{
    auto found = std::make_shared<Cover>();
    HLVViewJobs::run(context, [records, found] {
        for (const auto& record : records) {
            const auto pending = record->existingVirtualTagMap();
            if (pending && pending->ArtworkState() == HLVArtworkStateRemove)
                continue; // its picture goes at the next save
            if (pending && !pending->Artwork().isNull() && pending->ArtworkPath()) {
                *found = Cover{record, pending->Artwork(), pending->ArtworkPath()};
                return;
            }
            const HLVArtwork own = record->readOwnArtwork();
            if (!own.isNull() && own.hasPictureData()) {
                *found = Cover{record, own, std::nullopt};
                return;
            }
        }
    }, [found, done = std::move(done)] { done(*found); });
}

void HLVSelectionCommands::applyArtwork(QObject* context, const Cover& cover,
                                        const QList<std::shared_ptr<HLVFileData>>& records, HLVFileManager* manager,
                                        std::function<void(bool)> done)
{
    auto written = std::make_shared<bool>(false);
    HLVViewJobs::run(context, [cover, records, manager, written] {
        if (!cover.source || !manager)
            return;
        QString path = cover.path.value_or(QString());
        if (path.isEmpty()) {
            // The picture's own bytes, not a re-encoding: a save embeds them as they are.
            const QByteArray bytes = cover.picture.encodedData();
            const QString mime = HLVTagLibWriter::pictureMimeType(QString(), bytes);
            path = HLVArtworkFolder::storePicture(bytes, mime.mid(mime.indexOf(QLatin1Char('/')) + 1));
            if (path.isEmpty())
                return;
        }
        QList<std::shared_ptr<HLVFileData>> others;
        for (const auto& record : records) {
            if (record != cover.source)
                others.append(record);
        }
        manager->chooseArtwork(others, cover.picture, path);
        *written = true;
    }, [written, done = std::move(done)] { done(*written); });
}

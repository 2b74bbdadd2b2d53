#include "HLVSelectionCommands.h"
#include "HLVFileData.h"
#include "HLVFileManager.h"
#include "HLVViewJobs.h"

#include <QDir>
#include <QFileInfo>
#include <QUuid>

void HLVSelectionCommands::removeTags(QObject* context, const QList<std::shared_ptr<HLVFileData>>& records,
                                      HLVFileManager* manager, std::function<void()> done)
{
    HLVViewJobs::run(context, [records, manager] {
        for (const auto& record : records)
            record->removeTags();
        if (manager)
            manager->filesWereModified(records);
    }, std::move(done));
}

void HLVSelectionCommands::findFirstArtwork(QObject* context, const QList<std::shared_ptr<HLVFileData>>& records,
                                            std::function<void(const QImage&)> done)
{
    auto found = std::make_shared<QImage>();
    HLVViewJobs::run(context, [records, found] {
        for (const auto& record : records) {
            const auto pending = record->existingVirtualTagMap();
            *found = pending && !pending->Artwork().isNull() ? pending->Artwork().image()
                                                             : record->readOwnArtwork().image();
            if (!found->isNull())
                return;
        }
    }, [found, done = std::move(done)] { done(*found); });
}

void HLVSelectionCommands::applyArtwork(QObject* context, const QImage& image,
                                        const QList<std::shared_ptr<HLVFileData>>& records, HLVFileManager* manager,
                                        std::function<void(bool)> done)
{
    auto written = std::make_shared<bool>(false);
    HLVViewJobs::run(context, [image, records, manager, written] {
        const QString folder = QDir::tempPath() + QStringLiteral("/CRArtwork");
        QString path;
        do {
            path = folder + QLatin1Char('/') + QUuid::createUuid().toString(QUuid::WithoutBraces) + QStringLiteral(".jpg");
        } while (QFileInfo::exists(path));
        if (!QDir().mkpath(folder) || !image.save(path, "JPG", 100))
            return;
        // One picture shared by every record's pending map.
        const HLVArtwork artwork(image);
        for (const auto& record : records) {
            record->editVirtualTagMap([&](HLVTagMap& map) {
                map.setArtwork(artwork);
                map.setArtworkState(HLVArtworkStateChosen);
                map.setArtworkAttempted(true);
                map.setArtworkPath(path);
            });
            record->forceIsModified();
        }
        if (manager)
            manager->filesWereModified(records);
        *written = true;
    }, [written, done = std::move(done)] { done(*written); });
}

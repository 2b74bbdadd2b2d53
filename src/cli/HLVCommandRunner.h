#pragma once

#include "HLVArtwork.h"
#include "HLVCommandLine.h"
#include "HLVFileManager.h"
#include "HLVOperationMonitor.h"
#include "HLVProgressLine.h"

#include <QByteArray>
#include <QHash>
#include <QTemporaryFile>
#include <memory>

// Runs one command of cadrelle-cli through the file manager, as the window
// does: the files are added to a manager, edits go into each record's pending
// changes, and saving, identifying, artwork and renaming are the manager's
// operations. Results go to standard output, failures and notes to standard
// error. Must run on the main thread of a QCoreApplication.
class HLVCommandRunner
{
public:
    explicit HLVCommandRunner(const HLVCommandLine& line);
    ~HLVCommandRunner();

    // 0 when every file succeeded, 1 when any failed.
    int run();

private:
    using Records = QList<std::shared_ptr<HLVFileData>>;

    Records addFiles();
    void show(const Records& records);
    void set(const Records& records);
    void identify(const Records& records);
    void artwork(const Records& records);
    void rename(const Records& records);
    void filter(const Records& records);
    void recover();

    // Saves through the manager; answers, per record, whether it was written.
    // Failures are reported.
    QHash<const HLVFileData*, bool> save(const Records& records, const QString& label);
    // Reads the tags of each record and reports those that cannot be read.
    Records readable(const Records& records, const QString& label);
    // Reads (or downloads) the set command's picture once, before any file is
    // touched; false, reported, when it is not a picture.
    bool preparePicture();

    void fail(const QString& path, const QString& reason);
    void note(const QString& path, const QString& text);

    const HLVCommandLine& _line;
    HLVProgressLine _progress;
    HLVFileManager _manager;
    HLVOperationMonitor _monitor;
    bool _failed = false;
    HLVArtwork _picture;
    QString _picturePath;
    std::unique_ptr<QTemporaryFile> _downloadedPicture;
};

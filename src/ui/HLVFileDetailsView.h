#pragma once

#include <QList>
#include <QString>
#include <QWidget>
#include <atomic>
#include <memory>
#include <optional>

class HLVFileData;
class HLVViewJobs;
class QLabel;
class QToolButton;
struct HLVFileDetails;

// The file's own details under the tag editor's form: format and audio, the
// kinds of tag it carries, its first picture, its size and its folder, with a
// button that shows the folder. For several files: how many, their formats,
// their total length and size, and their folder when they share one. It shows
// what the records kept from their last read and never reads a file itself;
// several files are summed up on a worker.
class HLVFileDetailsView : public QWidget
{
    Q_OBJECT
public:
    explicit HLVFileDetailsView(QWidget* parent = nullptr);
    ~HLVFileDetailsView() override;

    // Nothing, one file or several; called again when the records learn more.
    // Several files are summed up on a worker; what is shown meanwhile stays.
    void showFiles(const QList<std::shared_ptr<HLVFileData>>& files);
    // Only how many files there are (while they are being read).
    void showFileCount(qsizetype count);
    // Shows the folder in the desktop's file manager; an alert says when none took it.
    void openFolderButtonPressed();

    QLabel* formatLabel() const { return _values[Format]; }
    QLabel* tagsLabel() const { return _values[Tags]; }
    QLabel* pictureLabel() const { return _values[Picture]; }
    QLabel* sizeLabel() const { return _values[Size]; }
    // Shows the folder elided in the middle; the whole path is its tool tip and folder().
    QLabel* folderLabel() const { return _values[Folder]; }
    QToolButton* openFolderButton() const { return _openFolderButton; }
    QString folder() const { return _folder; }
    // Several files are still being summed up.
    bool isWorking() const;

    // "3:07", "1:02:03".
    static QString lengthText(qint64 milliseconds);
    // "40.1 KB", "120 bytes".
    static QString sizeText(qint64 bytes);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum Row { Format, Tags, Picture, Size, Folder, RowCount };
    struct Rows
    {
        QString formatTitle;
        QString texts[RowCount];
        QString folder;   // the one folder of the files shown, empty when none or several
    };
    static Rows rowsOfFile(const std::optional<HLVFileDetails>& details, const QString& path);
    static std::optional<Rows> rowsOfFiles(const QList<std::shared_ptr<HLVFileData>>& files,
                                           const std::atomic<bool>& cancelled);
    static QString audioText(const HLVFileDetails& details);
    static QString pictureText(const HLVFileDetails& details);
    void showRows(const Rows& rows);
    void elideFolder();

    QLabel* _titles[RowCount] = {};
    QLabel* _values[RowCount] = {};
    QToolButton* _openFolderButton = nullptr;
    QWidget* _folderRow = nullptr;
    QString _folder;
    HLVViewJobs* _job = nullptr;
    quint64 _generation = 0;
};

#include "HLVFileDetailsView.h"
#include "HLVFileData.h"
#include "HLVFileDetails.h"
#include "HLVFolderOpener.h"
#include "HLVViewJobs.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QSet>
#include <QToolButton>

namespace {

const QString separator = QStringLiteral(" \u00B7 ");

// The folder of a path, without asking the disk.
QString folderOfPath(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash > 0 ? path.left(slash) : (slash == 0 ? QStringLiteral("/") : QString());
}

bool hasAnyTag(const HLVFileDetails& details)
{
    return details.id3v2Version || details.id3v1 || details.ape || details.mp4Items || details.xiphFields;
}

} // namespace

HLVFileDetailsView::HLVFileDetailsView(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("fileDetailsView"));
    _job = new HLVViewJobs(this);

    static const char* const titles[RowCount] = {
        QT_TR_NOOP("Format"), QT_TR_NOOP("Tags"), QT_TR_NOOP("Picture"), QT_TR_NOOP("Size"), QT_TR_NOOP("Folder")};
    static const char* const names[RowCount] = {"fileDetailsFormat", "fileDetailsTags", "fileDetailsPicture",
                                                "fileDetailsSize", "fileDetailsFolder"};
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(2);
    grid->setColumnStretch(1, 1);
    QFont small = font();
    if (small.pointSizeF() > 0)
        small.setPointSizeF(small.pointSizeF() * 0.9);
    for (int row = 0; row < RowCount; ++row) {
        auto* title = new QLabel(tr(titles[row]), this);
        title->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        title->setForegroundRole(QPalette::PlaceholderText);
        title->setFont(small);
        auto* value = new QLabel(this);
        value->setObjectName(QLatin1String(names[row]));
        value->setAccessibleName(tr(titles[row]));
        value->setFont(small);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        grid->addWidget(title, row, 0);
        if (row != Folder)
            grid->addWidget(value, row, 1);
        _titles[row] = title;
        _values[row] = value;
    }
    _openFolderButton = new QToolButton(this);
    _openFolderButton->setObjectName(QStringLiteral("openFolderButton"));
    _openFolderButton->setText(tr("Open Folder"));
    _openFolderButton->setToolTip(tr("Show the folder in the file manager"));
    _openFolderButton->setAccessibleName(tr("Open Folder"));
    _openFolderButton->setFont(small);
    connect(_openFolderButton, &QToolButton::clicked, this, &HLVFileDetailsView::openFolderButtonPressed);
    // The button follows the folder, which is elided to the room the row
    // leaves; the whole path is its tool tip. The row takes what the grid gives.
    _folderRow = new QWidget(this);
    _folderRow->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    _folderRow->installEventFilter(this);
    auto* folderLine = new QHBoxLayout(_folderRow);
    folderLine->setContentsMargins(0, 0, 0, 0);
    folderLine->setSpacing(8);
    _values[Folder]->setParent(_folderRow);
    folderLine->addWidget(_values[Folder]);
    folderLine->addWidget(_openFolderButton);
    folderLine->addStretch(1);
    grid->addWidget(_folderRow, Folder, 1);
    showRows(Rows());
}

HLVFileDetailsView::~HLVFileDetailsView()
{
    // The job's answer must not reach a half-destroyed view.
    delete _job;
    _job = nullptr;
}

bool HLVFileDetailsView::isWorking() const
{
    return _job->isBusy();
}

void HLVFileDetailsView::showFiles(const QList<std::shared_ptr<HLVFileData>>& files)
{
    const quint64 generation = ++_generation;
    _job->cancel();
    if (files.isEmpty()) {
        showRows(Rows());
        return;
    }
    if (files.size() == 1) {
        const auto& file = files.constFirst();
        showRows(rowsOfFile(file->Details(), file->FilePath()));
        return;
    }
    // What is shown stays until the worker has gone through the records.
    _job->start([this, files, generation](const std::atomic<bool>& cancelled) -> HLVViewJobs::Apply {
        std::optional<Rows> rows = rowsOfFiles(files, cancelled);
        if (!rows)
            return {};
        return [this, generation, rows = std::move(*rows)] {
            if (generation == _generation)
                showRows(rows);
        };
    });
}

void HLVFileDetailsView::showFileCount(qsizetype count)
{
    ++_generation;
    _job->cancel();
    Rows counting;
    if (count > 0) {
        counting.formatTitle = tr("Files");
        counting.texts[Format] = tr("%n files", nullptr, int(count));
    }
    showRows(counting);
}

HLVFileDetailsView::Rows HLVFileDetailsView::rowsOfFile(const std::optional<HLVFileDetails>& details,
                                                        const QString& path)
{
    Rows rows;
    rows.formatTitle = tr("Format");
    rows.folder = details && !details->folder.isEmpty() ? details->folder : folderOfPath(path);
    rows.texts[Folder] = QDir::toNativeSeparators(rows.folder);
    // Not read yet, or TagLib cannot read it: only where it is.
    if (!details)
        return rows;
    rows.texts[Format] = audioText(*details);
    rows.texts[Tags] = hasAnyTag(*details) ? details->tagSummary() : tr("none");
    rows.texts[Picture] = pictureText(*details);
    rows.texts[Size] = sizeText(details->fileSize);
    return rows;
}

std::optional<HLVFileDetailsView::Rows> HLVFileDetailsView::rowsOfFiles(const QList<std::shared_ptr<HLVFileData>>& files,
                                                                        const std::atomic<bool>& cancelled)
{
    QStringList formats;
    QSet<QString> folders;
    QString folder;
    qint64 length = 0;
    qint64 bytes = 0;
    qsizetype unread = 0;
    for (qsizetype i = 0; i < files.size(); ++i) {
        if (i % 256 == 0 && cancelled.load())
            return std::nullopt;
        const auto& file = files.at(i);
        const std::optional<HLVFileDetails> details = file->Details();
        const QString where = details && !details->folder.isEmpty() ? details->folder : folderOfPath(file->FilePath());
        if (folders.size() < 2 && !folders.contains(where)) {
            folders.insert(where);
            folder = where;
        }
        if (!details) {
            ++unread;
            continue;
        }
        if (!details->format.isEmpty() && !formats.contains(details->format))
            formats.append(details->format);
        length += details->lengthMilliseconds.value_or(0);
        bytes += details->fileSize;
    }
    Rows rows;
    rows.formatTitle = tr("Files");
    QStringList parts{tr("%n files", nullptr, int(files.size()))};
    if (!formats.isEmpty())
        parts.append(formats.join(QStringLiteral(", ")));
    if (length > 0)
        parts.append(tr("%1 in all").arg(lengthText(length)));
    if (unread > 0)
        parts.append(tr("%n not read", nullptr, int(unread)));
    rows.texts[Format] = parts.join(separator);
    if (unread < files.size())
        rows.texts[Size] = tr("%1 in all").arg(sizeText(bytes));
    if (folders.size() == 1) {
        rows.folder = folder;
        rows.texts[Folder] = QDir::toNativeSeparators(folder);
    } else {
        rows.texts[Folder] = tr("several folders");
    }
    return rows;
}

QString HLVFileDetailsView::audioText(const HLVFileDetails& details)
{
    QStringList parts;
    QString format = details.format;
    if (!details.codec.isEmpty() && details.codec != details.format)
        format += QStringLiteral(" (%1)").arg(details.codec);
    parts.append(format);
    // A depth means something for lossless audio only.
    if (details.bitsPerSample && (details.format == QLatin1String("FLAC") || details.codec == QLatin1String("ALAC")))
        parts.append(tr("%1-bit").arg(*details.bitsPerSample));
    if (details.lengthMilliseconds)
        parts.append(lengthText(*details.lengthMilliseconds));
    if (details.bitRate)
        parts.append(tr("%1 kbit/s").arg(*details.bitRate));
    if (details.sampleRate)
        parts.append(tr("%1 kHz").arg(QLocale().toString(*details.sampleRate / 1000.0, 'g', 5)));
    if (details.channels == 1)
        parts.append(tr("mono"));
    else if (details.channels == 2)
        parts.append(tr("stereo"));
    else if (details.channels)
        parts.append(tr("%n channels", nullptr, *details.channels));
    return parts.join(separator);
}

QString HLVFileDetailsView::pictureText(const HLVFileDetails& details)
{
    if (details.pictures == 0)
        return tr("none");
    QStringList parts;
    if (details.pictureType) {
        const QString type = HLVFileDetails::pictureTypeName(*details.pictureType);
        if (!type.isEmpty())
            parts.append(QCoreApplication::translate("HLVFileDetails", type.toUtf8().constData()));
    }
    if (!details.pictureFormat.isEmpty())
        parts.append(details.pictureFormat);
    if (details.pictureSize.isValid())
        parts.append(tr("%1 \u00D7 %2").arg(details.pictureSize.width()).arg(details.pictureSize.height()));
    parts.append(sizeText(details.pictureBytes));
    QString text = parts.join(separator);
    if (details.pictures > 1)
        text += tr(", and %n more", nullptr, details.pictures - 1);
    return text;
}

QString HLVFileDetailsView::lengthText(qint64 milliseconds)
{
    const qint64 seconds = (milliseconds + 500) / 1000;
    const qint64 hours = seconds / 3600;
    const qint64 minutes = seconds / 60 % 60;
    const QString rest = QStringLiteral("%1").arg(seconds % 60, 2, 10, QLatin1Char('0'));
    if (hours > 0)
        return QStringLiteral("%1:%2:%3").arg(hours).arg(minutes, 2, 10, QLatin1Char('0')).arg(rest);
    return QStringLiteral("%1:%2").arg(minutes).arg(rest);
}

QString HLVFileDetailsView::sizeText(qint64 bytes)
{
    return QLocale().formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
}

void HLVFileDetailsView::showRows(const Rows& rows)
{
    _titles[Format]->setText(rows.formatTitle.isEmpty() ? tr("Format") : rows.formatTitle);
    _values[Format]->setAccessibleName(_titles[Format]->text());
    for (int row = 0; row < RowCount; ++row) {
        const bool shown = !rows.texts[row].isEmpty();
        _values[row]->setText(rows.texts[row]);
        _titles[row]->setVisible(shown);
        _values[row]->setVisible(shown);
    }
    _folder = rows.folder;
    _values[Folder]->setToolTip(rows.texts[Folder]);
    _openFolderButton->setVisible(!_folder.isEmpty());
    _folderRow->setVisible(!rows.texts[Folder].isEmpty());
    elideFolder();
}

void HLVFileDetailsView::elideFolder()
{
    QLabel* label = _values[Folder];
    const QString whole = label->toolTip();
    const int room = _folderRow->width() - (!_openFolderButton->isHidden() ? _openFolderButton->sizeHint().width() + 8 : 0);
    const int width = std::max(40, std::min(label->fontMetrics().horizontalAdvance(whole) + 2, room));
    label->setFixedWidth(width);
    label->setText(label->fontMetrics().elidedText(whole, Qt::ElideMiddle, width));
}

bool HLVFileDetailsView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == _folderRow && event->type() == QEvent::Resize)
        elideFolder();
    return QWidget::eventFilter(watched, event);
}

void HLVFileDetailsView::openFolderButtonPressed()
{
    if (!_folder.isEmpty())
        HLVFolderOpener::openFolders({_folder}, this);
}

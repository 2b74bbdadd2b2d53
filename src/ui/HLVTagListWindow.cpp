#include "HLVTagListWindow.h"
#include "HLVTagLib.h"
#include "HLVTagMapFilter.h"

#include <QFileInfo>
#include <QHeaderView>
#include <QTableWidget>

namespace {

QString text(const std::optional<QString>& s)
{
    return s.value_or(QString());
}

QString text(const std::optional<int>& n)
{
    return n ? QString::number(*n) : QString();
}

QString pair(const std::optional<int>& n, const std::optional<int>& total)
{
    if (!n && !total)
        return QString();
    return total ? QStringLiteral("%1/%2").arg(text(n), text(total)) : text(n);
}

} // namespace

HLVTagListWindow::HLVTagListWindow(QWidget* parent)
    : QMainWindow(parent)
    , _table(new QTableWidget(this))
{
    setWindowTitle(QStringLiteral("Cadrelle"));
    const QStringList headers = {tr("File"), tr("Title"), tr("Artist"), tr("Album"), tr("Album Artist"),
                                 tr("Genre"), tr("Year"), tr("Track"), tr("Disc"), tr("Composer"),
                                 tr("Artwork"), tr("Missing")};
    _table->setColumnCount(int(headers.size()));
    _table->setHorizontalHeaderLabels(headers);
    _table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    _table->setSelectionBehavior(QAbstractItemView::SelectRows);
    _table->horizontalHeader()->setStretchLastSection(true);
    setCentralWidget(_table);
    resize(1000, 400);
}

void HLVTagListWindow::showFiles(const QStringList& paths)
{
    _table->setRowCount(int(paths.size()));
    int row = 0;
    for (const QString& path : paths) {
        const auto tags = HLVTagLib::loadTagsFromFileAtPath(path);
        const QSize artwork = tags->Artwork().size();
        const QStringList cells = {
            QFileInfo(path).fileName(), text(tags->TrackName()), text(tags->ArtistName()),
            text(tags->AlbumName()), text(tags->AlbumArtist()), text(tags->Genre()),
            text(tags->ReleaseYear()), pair(tags->TrackNumber(), tags->TrackTotal()),
            pair(tags->DiscNumber(), tags->DiscTotal()), text(tags->Composer()),
            artwork.isValid() ? QStringLiteral("%1×%2").arg(artwork.width()).arg(artwork.height()) : QString(),
            QString::number(HLVTagMapFilter::filteredTagCountForTagMap(*tags))};
        for (int column = 0; column < cells.size(); ++column)
            _table->setItem(row, column, new QTableWidgetItem(cells.at(column)));
        _table->item(row, 0)->setToolTip(path);
        ++row;
    }
    _table->resizeColumnsToContents();
}

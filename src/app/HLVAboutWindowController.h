#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

// The about window: version, build, and links to the maker and to the
// services whose data the program uses.
class HLVAboutWindowController : public QDialog
{
    Q_OBJECT
public:
    explicit HLVAboutWindowController(QWidget* parent = nullptr);

    QLabel* versionTextField() const { return _versionTextField; }
    QLabel* buildTextField() const { return _buildTextField; }
    // The link buttons, in order: web site, MusicBrainz, AcoustID, Cover Art Archive.
    const QList<QPushButton*>& linkButtons() const { return _linkButtons; }

private:
    QPushButton* addLinkButton(const QString& objectName, const QString& text, const QUrl& address);

    QLabel* _versionTextField = nullptr;
    QLabel* _buildTextField = nullptr;
    QList<QPushButton*> _linkButtons;
};

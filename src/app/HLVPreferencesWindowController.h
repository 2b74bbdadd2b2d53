#pragma once

#include <QDialog>

class QComboBox;
class QLineEdit;

// Edit > Preferences: the user's own AcoustID application key and the ID3v2
// version MP3 saves write. Stored when the dialog is accepted.
class HLVPreferencesWindowController : public QDialog
{
    Q_OBJECT
public:
    static constexpr const char* id3v2VersionPreference = "ID3v2Version";

    explicit HLVPreferencesWindowController(QWidget* parent = nullptr);

    QLineEdit* acoustIDKeyField() const { return _acoustIDKeyField; }
    QComboBox* id3v2VersionBox() const { return _id3v2VersionBox; }

    void accept() override;

private:
    QLineEdit* _acoustIDKeyField = nullptr;
    QComboBox* _id3v2VersionBox = nullptr;
};

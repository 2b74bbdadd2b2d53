#include "HLVPreferencesWindowController.h"

#include "HLVMakerPages.h"
#include "HLVServiceConfiguration.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QVBoxLayout>

HLVPreferencesWindowController::HLVPreferencesWindowController(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("HLVPreferencesWindowController"));
    setWindowTitle(tr("Preferences"));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    layout->addLayout(form);

    const QSettings settings;
    _acoustIDKeyField = new QLineEdit(this);
    _acoustIDKeyField->setObjectName(QStringLiteral("acoustIDKeyField"));
    _acoustIDKeyField->setPlaceholderText(tr("the program's own key"));
    _acoustIDKeyField->setText(settings.value(QLatin1String(HLVServiceConfiguration::acoustIDKeyPreference)).toString());
    _acoustIDKeyField->setMinimumWidth(260);
    form->addRow(tr("AcoustID application key:"), _acoustIDKeyField);
    auto* keyHelp = new QLabel(tr("<a href=\"%1\">Register an application key of your own</a>")
                                   .arg(HLVMakerPages::acoustIDKeyAddress().toString()),
                               this);
    keyHelp->setOpenExternalLinks(true);
    form->addRow(QString(), keyHelp);

    _id3v2VersionBox = new QComboBox(this);
    _id3v2VersionBox->setObjectName(QStringLiteral("id3v2VersionBox"));
    _id3v2VersionBox->addItem(QStringLiteral("ID3v2.4"), 4);
    _id3v2VersionBox->addItem(tr("ID3v2.3 (older players)"), 3);
    _id3v2VersionBox->setCurrentIndex(settings.value(QLatin1String(id3v2VersionPreference), 4).toInt() == 3 ? 1 : 0);
    form->addRow(tr("Save MP3 tags as:"), _id3v2VersionBox);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

void HLVPreferencesWindowController::accept()
{
    QSettings settings;
    const QString key = _acoustIDKeyField->text().trimmed();
    // An empty key means the program's own, so none is stored.
    if (key.isEmpty())
        settings.remove(QLatin1String(HLVServiceConfiguration::acoustIDKeyPreference));
    else
        settings.setValue(QLatin1String(HLVServiceConfiguration::acoustIDKeyPreference), key);
    settings.setValue(QLatin1String(id3v2VersionPreference), _id3v2VersionBox->currentData().toInt());
    QDialog::accept();
}

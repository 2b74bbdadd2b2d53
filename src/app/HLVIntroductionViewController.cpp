#include "HLVIntroductionViewController.h"

#include "HLVMakerPages.h"

#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

HLVIntroductionViewController::HLVIntroductionViewController(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("HLVIntroductionViewController"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(60, 40, 60, 40);
    layout->addStretch(1);
    _introductionTextField = new QLabel(this);
    _introductionTextField->setObjectName(QStringLiteral("introductionTextField"));
    _introductionTextField->setWordWrap(true);
    _introductionTextField->setAlignment(Qt::AlignCenter);
    QFont font = _introductionTextField->font();
    font.setPointSizeF(font.pointSizeF() * 1.15);
    _introductionTextField->setFont(font);
    // Without an alignment flag, so the layout gives the wrapped text the height it needs.
    layout->addWidget(_introductionTextField);
    _onlineManualButton = new QPushButton(tr("User Guide"), this);
    _onlineManualButton->setObjectName(QStringLiteral("onlineManualButton"));
    _onlineManualButton->setToolTip(tr("Open the user guide"));
    connect(_onlineManualButton, &QPushButton::clicked, this, &HLVIntroductionViewController::onlineManualButtonSelected);
    layout->addSpacing(16);
    layout->addWidget(_onlineManualButton, 0, Qt::AlignHCenter);
    layout->addStretch(1);
    introductionForFiles(false);
}

void HLVIntroductionViewController::introductionForFiles(bool haveFiles)
{
    if (haveFiles)
        _introductionTextField->setText(tr(
            "To edit tags, select a file from the added files list on the left. You can select multiple files by "
            "holding the Ctrl key as you select each file. You can select all files in the 'File' menu."));
    else
        _introductionTextField->setText(tr(
            "To begin, add files to tag into the list on the left. You can also add folders by clicking the folder "
            "icon at the top left. Cadrelle will automatically detect and add music files from added folders."));
}

void HLVIntroductionViewController::onlineManualButtonSelected()
{
    QDesktopServices::openUrl(HLVMakerPages::userGuideAddress());
}

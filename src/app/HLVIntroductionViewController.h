#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

// What the right panel shows while no file is selected: how to begin, or how
// to select, and a button that opens the user guide.
class HLVIntroductionViewController : public QWidget
{
    Q_OBJECT
public:
    explicit HLVIntroductionViewController(QWidget* parent = nullptr);

    // Whether files have been added decides which text is shown.
    void introductionForFiles(bool haveFiles);
    void onlineManualButtonSelected();

    QLabel* introductionTextField() const { return _introductionTextField; }
    QPushButton* onlineManualButton() const { return _onlineManualButton; }

private:
    QLabel* _introductionTextField = nullptr;
    QPushButton* _onlineManualButton = nullptr;
};

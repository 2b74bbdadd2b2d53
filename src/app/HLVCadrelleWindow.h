#pragma once

#include <QMainWindow>

class HLVFileManager;
class QMessageBox;
class QTimer;

// The main window. Closing it is a request: while files are being saved or
// tagged, or changes are unsaved, the user is asked first; once they agree
// (or there is nothing to lose) IsTerminating is set, the file manager's work
// stops, and the window closes as soon as no file is being written (saying
// "Finishing N saves" meanwhile).
class HLVCadrelleWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit HLVCadrelleWindow(QWidget* parent = nullptr);

    // Not owned; must outlive the window's requests.
    void setFileManager(HLVFileManager* fileManager) { _fileManager = fileManager; }
    HLVFileManager* FileManager() const { return _fileManager; }
    bool IsTerminating() const { return _isTerminating; }

    // Closes at once when nothing would be lost, else asks with an alert.
    void requestTermination();
    // A window-modal alert with "Go Back" and "Close Cadrelle"; "Close Cadrelle" closes.
    QMessageBox* createAlertWithMessageText(const QString& messageText);

    void saveGeometryPreference() const;
    void restoreGeometryPreference();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // Why closing now would lose something; empty when nothing would be.
    QString terminationMessage() const;
    // Stops the manager's work; true when files are still being written.
    bool finishingSaves();

    HLVFileManager* _fileManager = nullptr;
    bool _isTerminating = false;
    QTimer* _finishingTimer = nullptr;
};

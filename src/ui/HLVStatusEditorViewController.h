#pragma once

#include <QString>
#include <QWidget>
#include <mutex>

class HLVStatusEditorDelegate;
class QLabel;
class QProgressBar;
class QToolButton;

// The strip that shows the progress of a long file operation ("Saving 3 of 8.")
// with a cancel button. The values may be set from any thread; the widgets are
// updated on the main thread. Whoever sets values from other threads stops
// doing so before the strip is destroyed.
class HLVStatusEditorViewController : public QWidget
{
    Q_OBJECT
public:
    explicit HLVStatusEditorViewController(QWidget* parent = nullptr);

    void displayStatus(const QString& message, double targetValue);

    double CurrentValue() const;
    double TargetValue() const;
    // Kept at most the target.
    void setCurrentValue(double value);
    // Kept at least the current value.
    void setTargetValue(double value);

    void updateStatusProgressIndicator();
    void resetStatusProgress();
    void cancelButtonSelected();

    HLVStatusEditorDelegate* delegate() const { return _delegate; }
    void setDelegate(HLVStatusEditorDelegate* delegate) { _delegate = delegate; }

    QLabel* statusLabel() const { return _statusLabel; }
    QProgressBar* statusProgressIndicator() const { return _statusProgressIndicator; }
    QToolButton* cancelButton() const { return _cancelButton; }

private:
    struct Snapshot
    {
        QString message;
        double current;
        double target;
    };
    Snapshot snapshot() const;
    // Shows the snapshot: the determinate count, or the indeterminate state at 0 and at the end.
    void showProgress(const Snapshot& values);
    void showProgressOnMainThread(const Snapshot& values);
    void showCount(const Snapshot& values);

    QLabel* _statusLabel;
    QProgressBar* _statusProgressIndicator;
    QToolButton* _cancelButton;
    HLVStatusEditorDelegate* _delegate = nullptr;

    mutable std::mutex _valuesMutex;
    QString _statusMessage;
    double _CurrentValue = 0;
    double _TargetValue = 0;
};

#pragma once

#include <QPointer>
#include <QWidget>

class HLVExpandingViewDelegate;
class QAbstractAnimation;
class QFrame;
class QLabel;
class QPushButton;
class QToolButton;
class QVBoxLayout;

// A collapsible section: a 33-pixel header with a disclosure button and a title
// over a container whose content the owner supplies. The height changes are
// animated and reported to the delegate so the enclosing form can follow.
class HLVExpandingView : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(double sectionHeight READ sectionHeight WRITE setSectionHeight)
    Q_PROPERTY(double containerTopMargin READ containerTopMargin WRITE setContainerTopMargin)
    Q_PROPERTY(double containerBottomMargin READ containerBottomMargin WRITE setContainerBottomMargin)
public:
    static constexpr double headerHeight = 33;
    static constexpr int defaultAnimationDuration = 250;

    explicit HLVExpandingView(const QString& title = QString(), QWidget* parent = nullptr);

    // Collapses the section; done once, on first show at the latest. Set the
    // delegate and the content before, as this reports the collapse.
    void initialize();
    void expand();
    void collapse();
    void disclosureButtonClicked();
    void backingButtonClicked();
    // The height of the container's content.
    void setContainerViewHeight(double height);
    double calculatedHeight() const;
    bool isCollapsed() const { return !_isExpanded; }
    bool isExpanded() const { return _isExpanded; }
    bool isInitialized() const { return _isInitialized; }

    // Puts the widget into the container (the section does not resize it beyond the container).
    void setContentView(QWidget* content);

    HLVExpandingViewDelegate* delegate() const { return _delegate; }
    void setDelegate(HLVExpandingViewDelegate* delegate) { _delegate = delegate; }
    // Milliseconds; zero applies the end state at once.
    void setAnimationDuration(int milliseconds) { _animationDuration = milliseconds; }

    QFrame* box() const { return _box; }
    QToolButton* disclosureButton() const { return _disclosureButton; }
    QPushButton* backingButton() const { return _backingButton; }
    QLabel* titleTextField() const { return _titleTextField; }
    QWidget* containerView() const { return _containerView; }

    double sectionHeight() const { return _sectionHeight; }
    void setSectionHeight(double height);
    double containerTopMargin() const { return _containerTopMargin; }
    void setContainerTopMargin(double margin);
    double containerBottomMargin() const { return _containerBottomMargin; }
    void setContainerBottomMargin(double margin);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void tellDelegate(double size, double delta);
    void animateTo(double height, double topMargin, double bottomMargin, bool hideContainerAtEnd);
    void applyContainerMargins();
    void showDisclosureState(bool expanded);

    QFrame* _box;
    QToolButton* _disclosureButton;
    QPushButton* _backingButton;
    QLabel* _titleTextField;
    QWidget* _containerView;
    QVBoxLayout* _containerHolderLayout;
    HLVExpandingViewDelegate* _delegate = nullptr;
    QPointer<QAbstractAnimation> _animation;
    int _animationDuration = defaultAnimationDuration;

    bool _isInitialized = false;
    bool _isExpanded = false;
    bool _hasExpandedHeight = false;
    double _expandedHeight = 0;
    double _cvTopConstant = 4;
    double _cvBottomConstant = 8;
    double _sectionHeight = 0;
    double _containerTopMargin = 4;
    double _containerBottomMargin = 8;
};

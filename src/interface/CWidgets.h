#pragma once

#include "LAttachment.h"
#include "LBroadcaster.h"
#include "LControl.h"
#include "LStdControls.h"
#include "LView.h"

#include <QColor>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>

class LWindow;

// The gray ramp of the small widgets: 0 white (0xFFFF), 1 0xEEEE, 5 0xAAAA,
// 10 0x5555, 13 black; other indices lie between, in equal steps.
QColor GrayRamp(int index);

// A view painted white and framed in blue ('FWVi').
class CFramedWhiteView : public LView {
public:
    static constexpr ClassIDT class_ID = 'FWVi';
    using LView::LView;
    void DrawSelf(QPainter& painter) override;
};

// Set up on a resizable window once its layout is built ('RSiz'): the window
// redraws at once while the user drags its size. Windows that cannot be resized
// are left alone.
class CLiveResizeAttachment : public QObject, public LAttachment {
public:
    static constexpr ClassIDT class_ID = 'RSiz';

    explicit CLiveResizeAttachment(const LLayoutData& data);
    // Made for a window: set up at once.
    explicit CLiveResizeAttachment(LWindow* window);
    ~CLiveResizeAttachment() override;

    bool IsSetUp() const { return mWindow != nullptr; }

protected:
    void ExecuteSelf(MessageT message, void* ioParam) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void SetUp(LWindow* window);
    QPointer<LWindow> mWindow;
};

// Scroll wheels for the program's panes: the view under the mouse that a
// scroller scrolls moves by the wheel's notches times its scroll unit (pixel
// deltas of touchpads move it by those pixels). Wheels over the program's panes
// are taken, whether anything scrolled or not; Qt's own widgets (lists, text
// fields) keep theirs. Made in code, once, as an attachment of the application.
class CScrollWheelAttachment : public QObject, public LAttachment {
public:
    CScrollWheelAttachment();
    ~CScrollWheelAttachment() override;

    // Scrolls for a wheel at a global point; false when the point is over none
    // of the program's windows.
    bool HandleWheel(QPoint global, QPoint angleDelta, QPoint pixelDelta);

protected:
    void ExecuteSelf(MessageT, void*) override {}
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPoint mRemainder; // eighths of degrees not yet a whole notch
};

// A link ('URpb'): its title drawn in a text style, opening its address (the
// URL, or the title) when clicked, draggable as text. Layout fields: "title",
// "url", "textTraits", "pressedTextTraits" (negative: the normal style, drawn in
// the pressed colour or inverted), "pressedColorFlag", "pressedColor" [r, g, b]
// in 16-bit components, "userValue", "draggable".
class CURLPushButton : public LControl {
public:
    static constexpr ClassIDT class_ID = 'URpb';

    explicit CURLPushButton(const LLayoutData& data);
    CURLPushButton(const SPaneInfo& info, MessageT message, const QString& title, const QString& url);

    QString GetTitle() const { return mTitle; }
    void SetTitle(const QString& title);
    QString GetURL() const { return mURL; }
    void SetURL(const QString& url) { mURL = url; }
    ResIDT GetTextTraitsID() const { return mTextTraitsID; }
    void SetTextTraitsID(ResIDT id) { mTextTraitsID = id; Refresh(); }
    SInt16 GetPressedTextTraitsID() const { return mPressedTraitsID; }
    void SetPressedTextTraitsID(SInt16 id) { mPressedTraitsID = id; }
    bool GetPressedColorFlag() const { return mPressedColorFlag; }
    void SetPressedColorFlag(bool flag) { mPressedColorFlag = flag; }
    QColor GetPressedColor() const { return mPressedColor; }
    void SetPressedColor(const QColor& colour) { mPressedColor = colour; }
    void SetPressedColor(UInt8 red, UInt8 green, UInt8 blue);
    SInt16 GetUserValue() const { return mUserValue; }
    void SetUserValue(SInt16 value) { mUserValue = value; }
    bool IsDraggable() const { return mDraggable; }
    void SetDraggable(bool draggable) { mDraggable = draggable; }

    // What the button opens and drags: the URL, else the title.
    QString GetAddress() const;
    // The address as dragged: without the angle brackets of "<...>".
    QString GetDragText() const;
    bool IsPressed() const { return mPressed; }
    // Opens the address (the value message is broadcast first).
    virtual void OpenAddress();

    void DrawSelf(QPainter& painter) override;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void ActivateSelf() override { Refresh(); }
    void DeactivateSelf() override { Refresh(); }

private:
    void Init();

    QString mTitle;
    QString mURL;
    ResIDT mTextTraitsID = 0;
    SInt16 mPressedTraitsID = -1;
    bool mPressedColorFlag = false;
    QColor mPressedColor = QColor(0, 0, 0);
    SInt16 mUserValue = 0;
    bool mDraggable = true;
    bool mPressed = false;
    bool mTracking = false;
    QPoint mPressPoint;
};

// A view that relays every message of the broadcasters inside it ('MSup').
class MSuperBroadcastView : public LView, public LBroadcaster, public LListener {
public:
    static constexpr ClassIDT class_ID = 'MSup';
    using LView::LView;
    void ListenToMessage(MessageT message, void* ioParam) override;

protected:
    void FinishCreateSelf() override;

private:
    void ListenTo(LView* view);
};

// A bevel button that reports a long press ('TBut'): held longer than 14 ticks
// it broadcasts its value message + 1 (with a pointer to its value) then and at
// release, and is no click; a shorter press is an ordinary click.
class CTrackBevelButton : public LBevelButton {
public:
    static constexpr ClassIDT class_ID = 'TBut';
    static constexpr int kLongPressTicks = 14;

    explicit CTrackBevelButton(const LLayoutData& data);
    CTrackBevelButton(const SPaneInfo& info, MessageT message, const QString& title);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Init();
    QTimer mHold;
    bool mLongPress = false;
};

// A list box that tells its listeners (9007, with itself) whenever its selection
// may have changed ('clbx').
class CListBox : public LListBox {
public:
    static constexpr ClassIDT class_ID = 'clbx';
    static constexpr MessageT msg_SelectionChanged = 9007;

    explicit CListBox(const LLayoutData& data);

    bool GetFlag() const { return mFlag; }
    void SetFlag(bool flag) { mFlag = flag; }
    void SelectCell(int row);
    void SelectAllCells();
    void DeselectAll();

protected:
    // Called on becoming the target (true), ceasing to be it (false) and drawing (true).
    virtual void TargetHook(bool active) { Q_UNUSED(active); }
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Changed();
    bool mFlag = false;
};

// A placard strip drawn from a picture ('plaV'): picture 151 while active,
// 150 otherwise ('nilP' when the picture is missing).
class CPlacardView : public LView {
public:
    static constexpr ClassIDT class_ID = 'plaV';
    using LView::LView;
    void DrawSelf(QPainter& painter) override;

protected:
    void ActivateSelf() override { Refresh(); }
    void DeactivateSelf() override { Refresh(); }
    void EnableSelf() override { Refresh(); }
};

// A theme text box whose localized text is drawn over a lighter shadow one
// pixel lower ('ttwS').
class CThemeTextBoxWithShadow : public LThemeTextBox {
public:
    static constexpr ClassIDT class_ID = 'ttwS';
    using LThemeTextBox::LThemeTextBox;
    void DrawSelf(QPainter& painter) override;
};

void RegisterWidgetClasses();

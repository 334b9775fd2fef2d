#pragma once

#include "LAttachment.h"
#include "LLayoutData.h"
#include "PString.h"
#include "UEvents.h"

#include <QString>
#include <QWidget>

class LView;
class LWindow;
class QPainter;

// Which edges of a pane follow the superview's edges when it resizes.
struct SBooleanRect {
    bool left = false;
    bool top = false;
    bool right = false;
    bool bottom = false;

    friend bool operator==(const SBooleanRect&, const SBooleanRect&) = default;
};

struct SPoint32 {
    SInt32 h = 0;
    SInt32 v = 0;
    friend bool operator==(const SPoint32&, const SPoint32&) = default;
};

struct SDimension32 {
    SInt32 width = 0;
    SInt32 height = 0;
    friend bool operator==(const SDimension32&, const SDimension32&) = default;
};

// What a pane is made with: its ID, size, place in the superview's image, bindings,
// states, user constant and superview.
struct SPaneInfo {
    PaneIDT paneID = 0;
    SInt32 width = 0;
    SInt32 height = 0;
    bool visible = true;
    bool enabled = true;
    SBooleanRect bindings {};
    SInt32 left = 0;
    SInt32 top = 0;
    SInt32 userCon = 0;
    LView* superView = nullptr;
};

// A click as the panes see it: the point in port (window content) and local
// coordinates and the event record.
struct SMouseDownEvent {
    QPoint wherePort {};
    QPoint whereLocal {};
    EventRecord macEvent {};
    bool delaySelect = false;
};

inline constexpr OSStatus errDataNotSupported = -30583;
inline constexpr PaneIDT PaneIDT_Undefined = 0;
inline constexpr PaneIDT PaneIDT_Unspecified = -1;

// A rectangular element of a window: a QWidget with the old model's state on top.
// The frame is the widget's geometry in its superview's coordinates; a pane's
// local coordinates are its own widget coordinates (0, 0 at the frame's top left),
// port coordinates those of its window's content. Clicks run the click attachments
// and then ClickSelf; painting runs the draw attachments and then DrawSelf.
class LPane : public QWidget, public virtual LAttachable {
public:
    explicit LPane(const SPaneInfo& info);
    explicit LPane(const LLayoutData& data);
    ~LPane() override;

    // The superview of panes made from a layout (the view being built).
    static LView* GetDefaultView() { return sDefaultView; }
    static void SetDefaultView(LView* view) { sDefaultView = view; }
    // Reads the common pane fields of a layout entry.
    static SPaneInfo PaneInfoFromLayout(const LLayoutData& data);

    PaneIDT GetPaneID() const { return mPaneID; }
    void SetPaneID(PaneIDT paneID) { mPaneID = paneID; }
    SInt32 GetUserCon() const { return mUserCon; }
    void SetUserCon(SInt32 userCon) { mUserCon = userCon; }
    LView* GetSuperView() const { return mSuperView; }
    virtual void PutInside(LView* superView, bool orient = true);
    LWindow* GetContainingWindow() const;

    // Text, value and range. Panes without them keep the text and answer 0.
    StringPtr GetDescriptor(Str255& outText) const;
    void SetDescriptor(ConstStr255Param text);
    virtual QString GetCFDescriptor() const { return mDescriptor; }
    virtual void SetCFDescriptor(const QString& text);
    virtual SInt32 GetValue() const { return 0; }
    virtual void SetValue(SInt32) {}
    virtual SInt32 GetMinValue() const { return 0; }
    virtual void SetMinValue(SInt32) {}
    virtual SInt32 GetMaxValue() const { return 0; }
    virtual void SetMaxValue(SInt32) {}
    virtual void SetDataTag(SInt16 part, FourCharCode tag, UInt32 size, const void* data);
    virtual void GetDataTag(SInt16 part, FourCharCode tag, UInt32 size, void* outData, UInt32* outSize = nullptr) const;

    // Frame. Coordinates are Qt's 32-bit ones throughout.
    QRect GetFrame() const { return geometry(); }
    SDimension32 GetFrameSize() const { return { width(), height() }; }
    void CalcLocalFrameRect(QRect& outRect) const { outRect = rect(); }
    void CalcPortFrameRect(QRect& outRect) const;
    virtual void MoveBy(SInt32 dh, SInt32 dv, bool refresh);
    virtual void ResizeFrameBy(SInt32 dWidth, SInt32 dHeight, bool refresh);
    void ResizeFrameTo(SInt32 width, SInt32 height, bool refresh);
    void PlaceInSuperFrameAt(SInt32 h, SInt32 v, bool refresh);
    void PlaceInSuperImageAt(SInt32 h, SInt32 v, bool refresh);
    virtual void AdaptToSuperFrameSize(SInt32 dWidth, SInt32 dHeight, bool refresh);
    const SBooleanRect& GetFrameBinding() const { return mBindings; }
    void SetFrameBinding(const SBooleanRect& bindings) { mBindings = bindings; }

    // Coordinates.
    void PortToLocalPoint(QPoint& ioPoint) const;
    void LocalToPortPoint(QPoint& ioPoint) const;
    void GlobalToPortPoint(QPoint& ioPoint) const;
    void PortToGlobalPoint(QPoint& ioPoint) const;
    bool Contains(SInt32 portH, SInt32 portV) const;
    bool PointIsInFrame(SInt32 portH, SInt32 portV) const { return Contains(portH, portV); }

    // States. A pane is visible when it and all its superviews are shown.
    virtual void Show();
    virtual void Hide();
    virtual bool IsVisible() const;
    void SetVisible(bool visible) { visible ? Show() : Hide(); }
    virtual void Enable();
    virtual void Disable();
    bool IsEnabled() const { return isEnabled(); }
    virtual void Activate();
    virtual void Deactivate();
    bool IsActive() const;

    // Drawing.
    virtual void Refresh();
    virtual void RefreshRect(const QRect& localRect);
    virtual void UpdatePort();
    virtual bool FocusDraw(LPane* subPane = nullptr);
    void Draw(QPainter& painter);
    // Draws in local coordinates; the painter is clipped to what needs drawing.
    virtual void DrawSelf(QPainter&) {}

    // Mouse.
    virtual void Click(SMouseDownEvent& event);
    virtual void ClickSelf(const SMouseDownEvent&) {}
    void AdjustMouse(QPoint portPoint, const EventRecord& event);
    virtual void AdjustMouseSelf(QPoint portPoint, const EventRecord& event);
    static SInt16 GetClickCount() { return sClickCount; }
    // A click as the user would make it, at a local point: press and release.
    void SimulateClick(QPoint localPoint, UInt16 modifiers = 0, SInt16 clickCount = 1);

    // Searching.
    virtual LPane* FindPaneByID(PaneIDT paneID);
    virtual LPane* FindDeepSubPaneContaining(SInt32 portH, SInt32 portV) const;
    virtual LPane* FindSubPaneHitBy(SInt32 portH, SInt32 portV) const;

    // Called once the whole layout is built: the pane's own finish, then the
    // attachments waiting for msg_FinishCreate.
    virtual void FinishCreate();

    // In a box or grid layout a pane asks for the size it was made with.
    QSize sizeHint() const override { return mDeclaredSize; }
    QSize minimumSizeHint() const override { return mDeclaredSize; }
    QSize GetDeclaredSize() const { return mDeclaredSize; }

protected:
    virtual void FinishCreateSelf() {}
    virtual void ShowSelf() {}
    virtual void HideSelf() {}
    virtual void ActivateSelf() {}
    virtual void DeactivateSelf() {}
    virtual void EnableSelf() {}
    virtual void DisableSelf() {}

    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;
    // The window moved to a screen of another pixel density: drawings made for
    // the old one (cached images, buffers) are made again. By default a redraw.
    virtual void ScreenChanged() { update(); }
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

    void InitPane(const SPaneInfo& info);
    // Keeps the text without redrawing: for a pane whose face shows it and redraws itself.
    void StoreCFDescriptor(const QString& text) { mDescriptor = text; }
    const QString& StoredCFDescriptor() const { return mDescriptor; }
    void ClickFromQt(QMouseEvent* event, SInt16 clickCount);
    // The click record of a Qt mouse press on this pane (or a widget filling it).
    SMouseDownEvent MouseDownFromQt(const QMouseEvent& event) const;

    friend class LView;
    LView* mSuperView = nullptr;

private:
    PaneIDT mPaneID = 0;
    SInt32 mUserCon = 0;
    SBooleanRect mBindings {};
    QString mDescriptor;
    QSize mDeclaredSize;
    bool mWantsVisible = true;
    bool mActive = true;

    static inline LView* sDefaultView = nullptr;
    static inline SInt16 sClickCount = 0;
};

// Gives a key press to the target commander (which passes it up its chain); true
// when it was handled. Panes and windows call it for the keys their widgets leave
// alone, and then stop the key. A key typed in a modal window (`typedIn`) goes to
// that window when the target is outside it.
bool DispatchKeyToTarget(QKeyEvent* event, LWindow* typedIn = nullptr);

// The text of the subpane with that ID as a string; a null QString when there is none.
class LView;
QString CopyPaneCFDescriptor(LView* view, PaneIDT paneID);
// Sets the subpane's text; a null string sets the empty text. Nothing without the pane.
void SetPaneCFDescriptor(LView* view, PaneIDT paneID, const QString& text);
// The same; the string is a value here, so there is nothing to release.
void SetPaneCFDescriptorAndRelease(LView* view, PaneIDT paneID, const QString& text);

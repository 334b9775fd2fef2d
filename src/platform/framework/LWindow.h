#pragma once

#include "LCommander.h"
#include "LView.h"

#include <QMargins>

class QMenuBar;
class QToolBar;
class LWindowShell;

// Window attributes (the layout's "attributes" word) and what they become here.
enum : UInt32 {
    windAttr_Modal = 0x80000000,    // application-modal
    windAttr_Floating = 0x40000000, // a tool window above the others
    windAttr_Regular = 0x20000000,  // an ordinary document window
    windAttr_CloseBox = 0x10000000,
    windAttr_TitleBar = 0x08000000,
    windAttr_Zoomable = 0x04000000,  // maximize button
    windAttr_Resizable = 0x02000000, // without it the window keeps its size
    windAttr_SizeBox = 0x01000000,
    windAttr_Enabled = 0x00800000,
    windAttr_HideOnSuspend = 0x00400000, // hidden while the program is in the background
    windAttr_Targetable = 0x00200000,    // activation restores its target
    windAttr_GetSelectClick = 0x00100000,
    windAttr_DelaySelect = 0x00080000,
    windAttr_EraseOnUpdate = 0x00020000,
};

// A window: the outermost view (its content; port coordinates are its local ones)
// and a commander. The window's frame on screen, title and modified mark are those
// of a top-level shell widget that also carries the menu bar of document windows.
// Closing goes through command 4 and AttemptClose, so a document can refuse.
class LWindow : public LView, public LCommander {
public:
    LWindow(const SPaneInfo& info, UInt32 attributes, const QString& title, LCommander* superCommander);
    explicit LWindow(const LLayoutData& data);
    ~LWindow() override;

    // Builds the window of a layout resource with the given supercommander.
    static LWindow* CreateWindow(ResIDT layoutID, LCommander* superCommander);

    QWidget* GetShell() const;
    UInt32 GetAttributes() const { return mAttributes; }
    bool HasAttribute(UInt32 attribute) const { return (mAttributes & attribute) != 0; }
    void SetAttribute(UInt32 attribute);
    void ClearAttribute(UInt32 attribute);

    // The first show of a window nobody placed puts it over its parent window
    // (centred; an alert in the upper third), or in the middle of the screen. Every
    // show keeps the window within the screen's available area. A document window
    // coming up is selected, as window systems do with new windows; a floating
    // window comes up without taking the activation (Select gives it that).
    void Show() override;
    void Hide() override;
    // The window this one belongs to: the nearest window of its commander chain,
    // else the front window; null when there is none.
    LWindow* ParentWindow() const;
    // Moves the window (shrinking a resizable one first) to lie within its screen's available area.
    void KeepOnScreen();
    // A window that keeps its size but is larger than the screen scrolls whole,
    // unless its parts scroll what they hold: then it shrinks to the screen.
    void SetShrinksToScreen(bool shrinks) { mShrinksToScreen = shrinks; }
    bool ShrinksToScreen() const { return mShrinksToScreen; }
    // The window's bounds as the user left them: a size the screen made smaller
    // (a lower resolution, a higher scale factor) counts as the size it had before,
    // until the window is resized again.
    void GetBoundsToKeep(QRect& outBounds) const;
    // The window system's frame around the shell (a guess until it is first shown).
    QMargins FrameMargins() const;
    // The available area of the screen the window is on.
    QRect AvailableArea() const;
    bool IsVisible() const override;
    // Brings the window to the front and makes it the active window.
    virtual void Select();
    // Qt's active window (the program's windows are activated through Qt).
    bool IsActiveWindow() const;
    static LWindow* GetActiveWindow();
    // Visible windows, frontmost first (in the order Qt activated them); the front
    // window that is not floating.
    static std::vector<LWindow*> FetchWindows();
    static LWindow* GetFrontWindow();
    static LWindow* FetchWindowByTitle(const QString& title);

    // Title and modified mark.
    QString GetCFDescriptor() const override;
    void SetCFDescriptor(const QString& title) override;
    void SetModified(bool modified);
    bool IsModified() const;

    // Content bounds in global coordinates.
    void GetGlobalBounds(QRect& outBounds) const;
    virtual void DoSetBounds(const QRect& globalBounds);
    void SetMinMaxSize(SDimension32 minSize, SDimension32 maxSize);
    // The bounds a zoom gives (the screen's available area, within the maximum
    // size); true when the window has them now.
    virtual bool CalcStandardBounds(QRect& outStdBounds) const;
    void DoSetZoom(bool toStandard);
    void ResizeFrameBy(SInt32 dWidth, SInt32 dHeight, bool refresh) override;
    void MoveWindowTo(SInt32 globalLeft, SInt32 globalTop);
    // A window with a declared box or grid layout takes the size it asks for at
    // its width (a fixed window's made width, or the present one): showing it
    // and changing a text fit it again.
    void FitToLayout();

    // Closing: AttemptClose asks the supercommander; DoClose takes the window off
    // the screen and out of the chain at once and deletes it when the loop next runs.
    virtual void AttemptClose();
    virtual void DoClose();

    // Window-modal sheet of another window.
    void ShowAsSheetOf(LWindow* parent);
    // A window's buttons, check boxes and field captions each take an Alt mnemonic
    // from their text, none of the letters its menu bar's titles use.
    void GiveButtonsMnemonics();

    // Tab and Shift+Tab go the way the window reads (left to right, a band of
    // side-by-side parts at a time, top to bottom), not the order its parts were made.
    void SetTabOrderByLook(bool byLook) { mTabOrderByLook = byLook; }
    bool IsTabOrderByLook() const { return mTabOrderByLook; }

    void SetMenuBar(QMenuBar* menuBar);
    QMenuBar* GetMenuBar() const { return mMenuBar; }
    // Hiding the menu bar gives its room to the content.
    void SetMenuBarVisible(bool visible);
    // A tool bar under the menu bar (the window takes it); showing and hiding it
    // changes the window's height, not the content's.
    void SetToolBar(QToolBar* toolBar);
    QToolBar* GetToolBar() const { return mToolBar; }
    void SetToolBarVisible(bool visible);
    bool IsToolBarVisible() const;

    bool ObeyCommand(CommandT command, void* ioParam) override;
    // Escape closes a window made to close with it (layout field "closeOnEscape").
    bool HandleKeyPress(const EventRecord& event) override;
    void FindCommandStatus(CommandT command, Boolean& outEnabled, Boolean& outUsesMark, UInt16& outMark, Str255& outName) override;

    // Told by Qt's activation: the panes look active (or not) and the target follows.
    void ActivateWindow();
    void DeactivateWindow();
    void ActivateNextWindow();
    void QtDeactivated();

    // Made for each new window (the application installs the menu bar builder).
    using WindowHook = std::function<void(LWindow*)>;
    static void SetNewWindowHook(WindowHook hook) { sNewWindowHook() = std::move(hook); }

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;
    void PutOnDuty(LCommander* newTarget) override;

private:
    // A floater shown without selection hands the activation back to the window that had it.
    void KeepActivationFromFloater();
    // Whether a commander lies in another window below this one in the chain.
    bool IsInSubWindow(LCommander* commander) const;

    // Leaves the commander chain, handing the target back on the way.
    void LeaveCommanderChain();
    friend class LWindowShell;
    void InitWindow(UInt32 attributes, const QString& title, SInt32 left, SInt32 top);
    void ApplyFlags();
    void LayoutShell();
    int TopBarsHeight() const;
    void KeepContentSize();
    static WindowHook& sNewWindowHook();

    LWindowShell* mShell = nullptr;
    QMenuBar* mMenuBar = nullptr;
    QToolBar* mToolBar = nullptr;
    UInt32 mAttributes = 0;
    QString mTitle;
    SDimension32 mMinSize { 0, 0 };
    SDimension32 mMaxSize { 32767, 32767 };
    QRect mUserBounds {};
    bool mZoomed = false;
    bool mPlaced = false; // moved by its owner, or shown once
    QSize mSizeBeforeFit; // the size KeepOnScreen shrank from, while mSizeFitted holds
    QSize mSizeFitted;
    quint32 mActivationRequests = 0; // selections and floater shows, the last one counts

    bool mFitting = false;
    bool mCloseOnEscape = false;
    bool mTabOrderByLook = false;
    bool mShrinksToScreen = false;

};

// The frame a top-level widget has, or will have once the window system frames it.
QMargins ShellFrameMargins(const QWidget* shell);
// The frame the window system has given a shown top-level widget; none before it did.
QMargins KnownFrameMargins(const QWidget* shell);
// Puts a top-level widget over the window it belongs to, centred (a dialog in its
// upper third), or in the middle of the screen without one; within the screen.
void PlaceOverWindow(QWidget* shell, const LWindow* window, bool dialog);
// Moves a top-level widget by the least that puts its frame within the area.
void MoveWithinArea(QWidget* shell, const QRect& available, const QMargins& margins);
inline void MoveWithinArea(QWidget* shell, const QRect& available)
{
    MoveWithinArea(shell, available, ShellFrameMargins(shell));
}

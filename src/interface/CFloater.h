#pragma once

#include "CParentWindow.h"

#include <functional>

class QScreen;

// Where a floater goes against another window (PositionRelativeTo).
enum EFloaterPosition : SInt16 {
    floaterPos_RightOf = 6,      // beside the right edge, tops aligned
    floaterPos_LeftOf = 7,       // beside the left edge, tops aligned
    floaterPos_Below = 10,       // under the bottom edge, left edges aligned
    floaterPos_Above = 11,       // over the top edge, left edges aligned
    floaterPos_Centered = 14,    // centred on the window
    floaterPos_InsideRight = 15, // inside the right edge, tops aligned
};

// A floating palette: it stays on its screen when shown, hides while the program
// is in the background and comes back with it, and can write its position on
// hiding through a position store.
class CFloater : public CParentWindow {
public:
    static constexpr ClassIDT class_ID = 'FltW';

    CFloater(const SPaneInfo& info, UInt32 attributes, const QString& title, LCommander* superCommander);
    explicit CFloater(const LLayoutData& data);

    void Show() override;
    void Hide() override;
    bool CalcStandardBounds(QRect& outStdBounds) const override;

    // On hiding, the window's position is written to *store (null: nowhere).
    void SetPositionStore(Point* store, SInt32 refCon = 0);
    Point* GetPositionStore() const { return mPositionStore; }
    SInt32 GetPositionStoreRefCon() const { return mPositionRefCon; }

    // Moves the window so that its frame lies in the available area of the screen
    // (null: the screen under the window, else the primary one). Edges sticking out
    // right or bottom move back by the overlap; left and top edges win.
    void ConstrainToScreen(QScreen* screen = nullptr);
    // Places the floater against another window (EFloaterPosition; other kinds keep
    // the position), then keeps it on that window's screen.
    void PositionRelativeTo(const LWindow* other, SInt16 kind);

    // The window's place as the content's global top left.
    Point GetGlobalPosition() const;

private:
    void InitFloater();

    Point* mPositionStore = nullptr;
    SInt32 mPositionRefCon = 0;
};

// The floater that holds the progress panes of the running tasks. It is made
// once; its position lives in the preference "TaskWindowPosition". Command-period
// stops the most recently added task.
class CTaskWindow : public CFloater {
public:
    static constexpr ClassIDT class_ID = 'TskW';
    static inline const QString kPositionKey = QStringLiteral("TaskWindowPosition");

    CTaskWindow(const SPaneInfo& info, UInt32 attributes, const QString& title, LCommander* superCommander);
    explicit CTaskWindow(const LLayoutData& data);
    ~CTaskWindow() override;

    void Hide() override;
    bool HandleKeyPress(const EventRecord& event) override;

    // The task subsystem installs what Command-period does: send 'stop' to the
    // most recently added task (nothing when there is none).
    using StopLatestTaskFunc = std::function<void()>;
    static void SetStopLatestTask(StopLatestTaskFunc stop) { sStopLatestTask() = std::move(stop); }

    void SavePosition() const;

private:
    static StopLatestTaskFunc& sStopLatestTask();
};

// How long a hidden floater takes to fade out.
inline constexpr int kFloaterFadeMilliseconds = 200;
// Fades a picture of a visible window out where it stands (the window itself may
// hide at once).
void FadeOutCopy(QWidget* shell);

// Moves a top-level widget so that its frame lies in the available area of the
// screen (null: the screen under it, else the primary one). Edges sticking out
// right or bottom move back by the overlap; left and top edges win.
void ConstrainWindowToScreen(QWidget* shell, QScreen* screen);

// Window positions kept in the preferences: the content's global top left as a
// point preference. Restoring answers false (and leaves the window) when the
// point lies on no screen.
void SaveWindowPosition(const LWindow* window, const QString& key);
bool RestoreWindowPosition(LWindow* window, const QString& key);

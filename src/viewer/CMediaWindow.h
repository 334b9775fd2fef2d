#pragma once

#include "CContextualMenu.h"
#include "CIndexModel.h"
#include "CIndexToolbar.h"
#include "CMedia.h"
#include "LPeriodical.h"
#include "MediaViewOptions.h"

#include <QPointer>

#include <memory>
#include <vector>

class CIndexItem;
class CMedia;
class CMediaCaptionFloater;
class CMediaNavigator;
class CMediaView;
class QScreen;

// Layouts of the media windows and their floaters.
inline constexpr ResIDT kMediaWindowLayout = 915;
inline constexpr ResIDT kMediaWindowFSLayout = 916;
inline constexpr ResIDT kMediaNavigatorLayout = 921;
inline constexpr ResIDT kMediaCaptionLayout = 922;

// Commands of the media window.
enum : CommandT {
    cmd_MediaInfoWindow = 1010,
    cmd_MediaSlideShow = 1012,
    cmd_MediaReveal = 1016,
    cmd_MediaToolbar = 1026,
    cmd_MediaDelete = 1028,
    cmd_MediaDesktopPicture = 1033,
    cmd_MediaExport = 1058,
    cmd_MediaActions = 1061,
    cmd_MediaActivateFonts = 1064,
    cmd_MediaDeactivateFonts = 1066,
    cmd_MediaFullScreen = 1068,
    cmd_MediaCaptionFloater = 1074,
    cmd_MediaNavigatorFloater = 1076,
    cmd_MediaRating = 3029,
};

// What the window tells its navigator about the shown item (message 3025).
struct MediaNavigatorInfo {
    QString name;
    SInt32 index = -1;
    SInt32 count = 0;
};

// The window that shows one item of an index large: a still, a movie or a sound.
// It steps through the items of the index model it came from (next, previous,
// first, last, slide show), wrapping at both ends, acts on the shown item (info,
// reveal, delete, desktop picture) and owns the navigator and caption floaters.
// It holds the index model and the item's row, never a view: the grid and the list
// follow what it does to the model.
// Made from layout 915 ('MWin'); the full-screen kind is CMediaWindowFS (916).
class CMediaWindow : public CCMWindow, public LPeriodical {
public:
    static constexpr ClassIDT class_ID = 'MWin';

    explicit CMediaWindow(const LLayoutData& data);
    ~CMediaWindow() override;

    // Every media window, oldest first.
    static const std::vector<CMediaWindow*>& GetWindowList();
    // The window already showing the item is brought forward (or switched to the
    // other kind): null. Else a new window of the kind asked for, one full-screen
    // window per screen. 'nilP' when none can be made.
    static CMediaWindow* FindOrCreate(CIndexItem* item, bool windowed, CIndexModel* model);
    static void RefreshAllMediaWindows();

    virtual void SlideShowStep();
    virtual void StartSlideShow(double interval);
    virtual void StopSlideShow();
    bool IsSlideShowRunning() const { return IsRepeating(); }
    CIndexItem* GetItem() const { return mItem; }
    CMediaView* GetMediaView() const { return mMediaView; }
    CIndexModel* GetModel() const { return mModel; }
    SInt32 GetItemIndex() const { return mItemIndex; }
    const std::vector<SInt32>& GetHistory() const { return mHistory; }
    MediaViewOptions& GetOptions() { return mOptions; }
    CMediaNavigator* GetNavigator() const { return mNavigator; }
    CMediaCaptionFloater* GetCaptionFloater() const { return mCaptionFloater; }
    SInt32 GetPendingError() const { return mPendingError; }
    UInt32 GetLastStepTick() const { return mLastStepTick; }
    void SetLastStepTick(UInt32 tick) { mLastStepTick = tick; }

    // The item (of the model, or none) shown; a window without a model owns it.
    virtual void SetItem(CIndexItem* item, CIndexModel* model, std::unique_ptr<CMedia> media);
    virtual void SetItemAtIndex(SInt32 index, CIndexModel* model, std::unique_ptr<CMedia> media);
    virtual void UpdateTitle();
    virtual void ReleaseItem();
    virtual void ShowMedia(std::unique_ptr<CMedia> media);
    virtual void ToggleFullScreen();
    virtual void ReportMediaError(SInt32 code);
    virtual bool IsFullScreenKind() const { return false; }
    // The next and previous items, wrapping at both ends.
    void ShowNext();
    void ShowPrevious();
    // The item's name as the floaters show it: without a three-letter extension,
    // or the medium's own name when it has one.
    static QString FloaterName(const QString& itemName, CMedia* media);

    bool ObeyCommand(CommandT command, void* ioParam) override;
    void FindCommandStatus(CommandT command, Boolean& outEnabled, Boolean& outUsesMark, UInt16& outMark,
        Str255& outName) override;
    bool HandleKeyPress(const EventRecord& event) override;
    void ListenToMessage(MessageT message, void* ioParam) override;
    void SpendTime(const EventRecord& event) override;
    void ClickSelf(const SMouseDownEvent& event) override;
    void AddOwnItems(QMenu* menu) override;
    UInt32 GetHelpType() override;
    void GetHelpString(QString& outText) override;
    void HelpChosen() override;
    void DrawSelf(QPainter& painter) override;
    void Activate() override;
    void Deactivate() override;
    void Select() override;
    // A closed window leaves the list at once, though it is deleted later.
    void DoClose() override;

protected:
    void FinishCreateSelf() override;
    void resizeEvent(QResizeEvent* event) override;
    // The navigator and caption floaters (both windows make them).
    void MakeFloaters();
    void DeleteItem();
    void ForgetItem();
    SInt32 CountItems() const;
    // Shows the item at the index of the same model.
    void ShowItemAt(SInt32 index) { SetItemAtIndex(index, mModel, nullptr); }

    UInt32 mLastStepTick = 0;
    SInt32 mPendingError = 0;
    CIndexItem* mItem = nullptr;
    CMediaView* mMediaView = nullptr;
    QPointer<CIndexModel> mModel;
    SInt32 mItemIndex = -1;
    std::vector<SInt32> mHistory;
    MediaViewOptions mOptions;
    CMediaNavigator* mNavigator = nullptr;
    CMediaCaptionFloater* mCaptionFloater = nullptr;
    bool mNavigatorHiddenByDeactivate = false;
    CMediaToolbar mToolbar;
    bool mRelayingOut = false;
    // A full-screen window entered from a windowed one: Escape goes back to a window.
    bool mLeavesToWindow = false;
};

// The screen "FullScreenViewOptions" 2 asks for: the first that is not the
// primary one; null when the preference says otherwise or there is none.
QScreen* ChosenFullScreenScreen();

// Opens the item in its media window (made or found); null when an existing
// window was only brought forward. Without a model the window owns the item.
CMediaWindow* OpenMediaWindowForItem(
    CIndexItem* item, CIndexModel* model, bool windowed, std::unique_ptr<CMedia> media);
// Opens the item at the 1-based index of the model's current list ('nilP' without a
// model, 'asrt' for an index outside the list).
void OpenMediaWindowAtIndex(
    SInt32 index, CIndexModel* model, bool windowed, std::unique_ptr<CMedia> media);

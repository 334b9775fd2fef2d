#pragma once

#include "LWindow.h"
#include "CWidgets.h"
#include "IndexDocServices.h"
#include "LBroadcaster.h"

#include <QPointer>

class CIndexView;
class CVisualTask;
class LBevelButton;
class LControl;
class LProgressBar;

// Messages the status placard hears besides the tasks' 8008-8014.
inline constexpr MessageT msg_PlacardInfoText = 3016;  // a QString* shown as the information text
inline constexpr MessageT msg_PlacardTypeSelect = 3019; // a Pascal string: the type-to-select text
inline constexpr MessageT msg_PlacardZoom = 8005;       // the zoom slider moved
inline constexpr MessageT msg_PlacardStopTask = 8013;   // the stop button
inline constexpr MessageT msg_PlacardVisibleRange = 8888;
inline constexpr MessageT msg_PlacardReverseSort = 1027; // the sort-direction button

// The status placard at the foot of the index window ('InfV', pane 930): the
// counts of all, shown and selected items with the index's size, the thumbnail
// size with its zoom slider, icons for media storage, the password and the list
// lock, and a mirror of the task that runs on the index. It is driven by the
// messages of its index view, of the view's tasks and of its own controls.
class CInfoView : public CPlacardView, public LBroadcaster, public LListener, public IndexDocumentPane {
public:
    static constexpr ClassIDT class_ID = 'InfV';
    // The sub-panes.
    static constexpr PaneIDT kPaneInfoText = 932;
    static constexpr PaneIDT kPaneZoomSlider = 933;
    static constexpr PaneIDT kPaneStorageButton = 934;
    static constexpr PaneIDT kPaneIdleGroup = 955;
    static constexpr PaneIDT kPaneTaskGroup = 956;
    static constexpr PaneIDT kPaneTaskTitle = 957;
    static constexpr PaneIDT kPaneStopButton = 958;
    static constexpr PaneIDT kPaneEnabledMark = 959;
    static constexpr PaneIDT kPaneTypeSelect = 'dhat';
    static constexpr PaneIDT kPaneListLock = 'lnor';
    static constexpr PaneIDT kPanePasswordButton = 'lckd';
    static constexpr PaneIDT kPaneProgress = 'stat';
    static constexpr PaneIDT kPaneSortButton = 981;
    // The bar's width beside the stop button, and without it.
    static constexpr SInt32 kBarWidthWithStop = 120;
    static constexpr SInt32 kBarWidthAlone = 138;
    static constexpr SInt32 kBarHeight = 16;
    static constexpr SInt32 kGrowBoxSide = 15;

    explicit CInfoView(const LLayoutData& data);
    ~CInfoView() override;

    // The index view reported on and the list view pane ('brow'): while the list
    // shows, the slider leaves the thumbnails alone.
    void SetIndexView(CIndexView* view);
    void SetListPane(LPane* listPane) { mListPane = listPane; }
    void SetIndexDocument(CIndexDoc* document) override;

    void ListenToMessage(MessageT message, void* ioParam) override;
    void Click(SMouseDownEvent& event) override;

    // The information text as shown.
    QString GetInfoText() const;
    // The counts line for the numbers: empty for an empty index; the size in
    // brackets only when nothing is selected and nothing filtered out.
    static QString CountsText(SInt32 all, SInt32 shown, SInt32 selected, UInt64 totalSize);
    CVisualTask* GetCurrentTask() const { return mCurrentTask; }

protected:
    void FinishCreateSelf() override;
    void EnableSelf() override;

private:
    void ShowCounts();
    void Zoom();
    void ShowTask(CVisualTask* task);
    void SetInfoText(const QString& text);
    // The bar shows its range; a range of one value shows it full.
    void ShowProgressRange();
    // The sort-direction button shows the list's order and is enabled as the
    // command it sends.
    void ShowSortOrder();
    LPane* Require(PaneIDT paneID);

    QPointer<CIndexView> mView;
    LPane* mListPane = nullptr;
    LPane* mInfoText = nullptr;
    LPane* mTypeSelect = nullptr;
    LControl* mStorageButton = nullptr;
    LPane* mListLock = nullptr;
    LControl* mPasswordButton = nullptr;
    LPane* mTaskGroup = nullptr;
    LProgressBar* mProgress = nullptr;
    LPane* mTaskTitle = nullptr;
    LControl* mStopButton = nullptr;
    LControl* mZoomSlider = nullptr;
    LBevelButton* mSortButton = nullptr;
    SInt32 mShownSortOrder = -1;
    CVisualTask* mCurrentTask = nullptr;
    SInt32 mProgressMin = 0;
    SInt32 mProgressMax = 0;
    SInt32 mProgressValue = 0;
    bool mSettingSlider = false;
};

void RegisterPlacardClasses();

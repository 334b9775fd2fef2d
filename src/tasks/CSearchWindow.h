#pragma once

#include "CContextualMenu.h"
#include "CFloater.h"

#include <QPointer>
#include <QVariantMap>

#include <vector>

class CSearchView;
class LControl;
class LStdPopupMenu;
class CIndexModel;

// Panels and layouts of the search window.
enum : ResIDT {
    kSearchWindowLayout = 1021,
    kSearchPanel = 4000,
    kDuplicatesPanel = 4001,
    kBatchPanel = 4002,
    kSearchRowLayout = 1029,
    kBatchRowLayout = 1031,
    kSaveSettingLayout = 1033,
};

// Messages of the window's controls.
enum : MessageT {
    msg_SearchRun = 9001,
    msg_SearchAddRow = 9002,
    msg_SearchRemoveRow = 9003,
    msg_SearchDuplicates = 9004,
    msg_SearchBatch = 9005,
    msg_SearchSave = 9007,
    msg_SearchSource = 9008,
    msg_SearchSaveCancel = 901,
    msg_SearchPanel = 'SMPT',
};

// The panes of a panel.
enum : PaneIDT {
    kRunButton = 8001,
    kAddRowButton = 8002,
    kRemoveRowButton = 8003,
    kSourcePopup = 8004,
    kResultPopup = 8005,
    kCriteriaContainer = 8006,
    kSaveButton = 8008,
};

// The one floating window in which the user searches an index, finds its
// duplicates and runs batch processes on its items: three panels (Search,
// Duplicates, Batch) that replace each other. The Search and Batch panels hold a
// growing list of criteria rows. The window works on one target, the index view
// that opened it last; losing it hides the window. The Search and Batch panels'
// state outlives the program ("LastSearchSettings", "LastBatchSettings"), and a
// panel's state can be saved as a named setting that the Search menu runs.
class CSearchWindow : public CFloater, public CCMArea {
public:
    static constexpr ClassIDT class_ID = 'SrhW';

    explicit CSearchWindow(const LLayoutData& data);
    ~CSearchWindow() override;

    // The window once made, or null.
    static CSearchWindow* GetSearchWindow() { return sWindow; }
    // Makes the window or brings it forward, on the panel of the command (1057
    // Search, 1060 Duplicates, 1061 Batch; others keep the panel), for the index.
    static CSearchWindow* ShowSearchWindow(CIndexModel* model, SInt32 command);

    virtual void SwitchPanel(ResIDT panelID);
    virtual void SetupPanel(SInt32 kind);
    virtual void SaveLastSettings(ResIDT panelID);
    // A row made from the dictionary, or the row's default field for null.
    virtual void AddCriterionRow(const QVariantMap* dictionary);
    virtual bool RemoveLastCriterionRow();
    virtual void RunSearch();
    virtual void RunBatch();
    virtual void FindDuplicates();
    virtual QVariantMap CopySettings() const;
    // 'nilP' when a key is missing or an entry is no dictionary.
    virtual void ApplySettings(const QVariantMap& settings);
    virtual void SourceKindChanged();
    virtual void UpdateSourceMenu(bool force);
    virtual void OpenSaveSettingDialog();
    virtual void SaveSetting();
    // The index searched; the window follows its counts and hides when it goes.
    virtual void SetTarget(CIndexModel* model);
    virtual void UpdateTitle();

    void ListenToMessage(MessageT message, void* ioParam) override;
    bool HandleKeyPress(const EventRecord& event) override;
    bool ObeyCommand(CommandT command, void* ioParam) override;
    void FindCommandStatus(CommandT command, Boolean& outEnabled, Boolean& outUsesMark, UInt16& outMark, Str255& outName) override;
    void AttemptClose() override;
    void Click(SMouseDownEvent& event) override;

    // The contextual menu and its help item.
    void AddOwnItems(QMenu* menu) override;
    UInt32 GetHelpType() override { return 2; }
    void GetHelpString(QString& outText) override;
    void HelpChosen() override;

    ResIDT GetPanelID() const { return mPanelID; }
    CIndexModel* GetTarget() const { return mTarget; }
    const std::vector<CSearchView*>& GetRows() const { return mRows; }
    LDialogBox* GetSaveDialog() const { return mSaveDialog; }
    LStdPopupMenu* GetSourcePopup() const { return mSourcePopup; }
    LStdPopupMenu* GetResultPopup() const { return mResultPopup; }
    LControl* GetRunButton() const { return mRunButton; }
    LControl* GetRemoveRowButton() const { return mRemoveButton; }
    LControl* GetSaveButton() const { return mSaveButton; }
    // The height every row takes.
    SInt32 GetRowHeight() const;

protected:
    void FinishCreateSelf() override;

private:
    void SetContentSize(SInt32 width, SInt32 height);
    void FitRows();
    void ClearPanelPanes();
    void ApplyLastSettings(const QString& key);
    CommandT SourceCommand() const;
    CommandT ResultCommand() const;
    ResIDT ResultMenuID() const;
    void CloseSaveDialog();
    void EnableResultItems(bool all);

    static inline CSearchWindow* sWindow = nullptr;

    CIndexModel* mTarget = nullptr;
    std::vector<QMetaObject::Connection> mTargetConnections;
    std::vector<CSearchView*> mRows;
    LControl* mPanelSelector = nullptr;
    LView* mPanelHost = nullptr;
    LView* mPanel = nullptr;
    ResIDT mPanelID = 0;
    LControl* mAddButton = nullptr;
    LControl* mRemoveButton = nullptr;
    LControl* mRunButton = nullptr;
    LControl* mSaveButton = nullptr;
    LStdPopupMenu* mSourcePopup = nullptr;
    LStdPopupMenu* mResultPopup = nullptr;
    LView* mCriteriaContainer = nullptr;
    SInt32 mShownCount = -1;
    SInt32 mShownSelected = -1;
    LDialogBox* mSaveDialog = nullptr;
    SInt32 mPanelHeight = 0; // the window's height without rows
};

#pragma once

#include "ATabbedPanels.h"
#include "CFloater.h"
#include "CIndexItem.h"
#include "FieldKeys.h"
#include "ItemWindowServices.h"
#include "Liveness.h"

#include <QImage>
#include <QPointer>

#include <array>
#include <memory>

class CANPAInfo;
class CIndexModel;
class LImagePane;
class LTabsControl;

// Panels of the info window (tab n shows panel 3000 + n) and its messages.
enum : ResIDT {
    kInfoFilePanel = 3001,
    kInfoCaptionPanel = 3002,
    kInfoMoreCaptionPanel = 3003,
    kInfoKeywordsPanel = 3004,
    kInfoCategoriesPanel = 3005,
    kInfoEXIFPanel = 3006,
};
enum : MessageT {
    msg_InfoAddRow = 9001,
    msg_InfoReplaceRow = 9002,
    msg_InfoRemoveRows = 9003,
    msg_InfoRowSelected = 9004,
    msg_InfoDateNow = 9005,
    msg_InfoRowDoubleClicked = 9006,
    msg_InfoEntryChanged = 9007,
    msg_InfoNextItem = 9008,
    msg_InfoPreviousItem = 9009,
    msg_InfoOpenItem = 9010,
};
// The most caption bytes a file's IPTC caption (2:120) holds.
inline constexpr qsizetype kMaxCaptionBytes = 2000;

// The floating window that shows one index item on six tabbed panels (file and
// image facts, the caption fields, keywords, supplemental categories, EXIF data),
// lets the user edit the caption through a copy of the item's caption record,
// and steps through the current list of the item's index view. A pane whose ID
// is a field key shows that field; the pane of key + 10000 shows its name.
// Leaving a panel stores it into the copy; leaving the item (next, previous,
// closing) applies the copy to the item when anything changed.
class CItemInfoWindow : public CFloater, public ItemInfoWindow, public ATabbedPanels {
public:
    static constexpr ClassIDT class_ID = 'IifW';
    static inline const QString kPositionKey = QStringLiteral("ItemInfoWindowPosition");

    explicit CItemInfoWindow(const LLayoutData& data);
    ~CItemInfoWindow() override;

    // ItemInfoWindow
    void SetIndexItem(CIndexItem* item, CIndexModel* model) override;
    void BringToFront() override;

    // Shows an item of the index ('nilP' for none): the item shown before is stored and applied.
    virtual void SetItem(CIndexItem* item, CIndexModel* model);
    // Takes the item at a 1-based index of the model's current list; the window
    // passes from the item it showed to that one. False when there is none.
    bool ShowItemAt(SInt32 index);
    CIndexItem* GetItem() const { return mItem.Get(); }
    CIndexModel* GetModel() const { return mModel.data(); }
    // Null until a caption panel is shown for the item.
    const CANPAInfo* GetCaptionCopy() const { return mCaptionCopy.get(); }
    // The 1-based index of the item in the model's current list; 0 when it is not there.
    SInt32 GetItemIndex() const;

    virtual bool IsModified() const;
    virtual void SetModified(bool modified);
    virtual void EditListRow(MessageT message);
    virtual void SetDateNow();
    virtual void ApplyChanges();
    virtual void ReleaseItem();
    // The tab control's value chosen (1-6).
    void SwitchToTab(SInt32 tab);

    void ListenToMessage(MessageT message, void* ioParam) override;
    void DoClose() override;
    // Return in the keyword or category entry adds what was typed; it opens nothing.
    bool HandleKeyPress(const EventRecord& event) override;

    // The small picture of the item beside the buttons (null when it has none).
    const QImage& GetPreview() const { return mPreview; }

protected:
    void FinishCreateSelf() override;
    void StorePanel() override { StoreFields(); }
    void FillPanel() override;
    void PanelBuilt() override;
    virtual void StoreFields();

private:
    void FillFilePanel();
    void FillCaptionPanel();
    void FillEXIFPanel();
    void StoreFilePanel();
    // A field of the shown item set through its index's model, when it has one.
    OSStatus SetItemField(CIndexItem& item, SInt32 fieldKey, const QString& text);
    void StoreCaptionPanel();
    void StoreMoreCaptionPanel();
    void StoreList(SInt32 listKey);
    void SetPaneText(PaneIDT paneID, const QString& text);
    QString PaneText(PaneIDT paneID) const;
    void UpdateListButtons();
    void UpdateTitle();
    void MakePreview();
    void ShowEXIFTab(bool show);
    // The editable copy of the item's caption record, made on first need.
    CANPAInfo& CaptionCopy();

    LTabsControl* mTabs = nullptr;
    QPointer<CIndexModel> mModel;
    TLivePtr<CIndexItem> mItem;
    std::unique_ptr<CANPAInfo> mCaptionCopy;
    bool mModified = false;
    QImage mPreview;
    LControl* mNextButton = nullptr;
    LControl* mPrevButton = nullptr;
    LImagePane* mPreviewPane = nullptr; // null: the layout shows none
    // What panel 3001 showed for the name and remote URL, to tell an edit from
    // the displayed text (a name shown without its extension is no rename).
    QString mShownName;
    QString mShownRemoteURL;
    bool mClosing = false;
    // The panel shows the item let go of: nothing in it is stored.
    bool mPanelStale = false;
    // Where the item stood in the view's current list when last looked up.
    mutable SInt32 mItemIndex = 0;
    // The value panes of the EXIF panel while it is shown, in field key order.
    static constexpr size_t kEXIFFieldCount = kFieldOrientation - kFieldEXIFVersion + 1;
    std::array<LPane*, kEXIFFieldCount> mEXIFPanes {};
};

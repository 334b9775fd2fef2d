#pragma once

#include "CDataBrowser.h"
#include "CSourceItem.h"
#include "CoalescedCall.h"
#include "LBroadcaster.h"

#include <QMetaObject>
#include <QPointer>
#include <QSet>
#include <QString>

#include <functional>

#include <vector>

class CIndexView;
class CSourceItemLibrary;
class CSourceParentDynamic;
class CSourceItemDynamic;

// The organizer beside the index view (class ID 'MdLv'): its first row stands for
// the whole index, below it one group per field of the index's value index, and
// in each group one row per value with the number of items that have it.
// Selecting a value filters the index view to its items (with Command held its
// items join the filter shown); the first row shows all items again. Renaming a
// value changes it in every item that has it; dropping items on a value gives
// them the value, on a group asks for a value first. Changes run as batch tasks.
//
// Rows hold a field key and a value, never items: whatever a row does or shows
// is read from the model's value index at that moment. The list follows the
// model's own signals, whatever changed it (a task, a batch, a removal); item
// changes refresh the open groups at most ten times a second. The index view is
// only where the list's keys, commands and row clicks go.
class CMetaDataListView : public CDataBrowser {
public:
    static constexpr ClassIDT class_ID = 'MdLv';

    explicit CMetaDataListView(const LLayoutData& data);
    // A list outside an index window, organizing the model given to SetOrganizedModel.
    explicit CMetaDataListView(const SPaneInfo& info);
    ~CMetaDataListView() override;

    void FinishCreateSelf() override;
    // Organizes the document's model from now on; its index view takes the commands.
    void SetIndexDocument(CIndexDoc* document) override;
    void ValueIndexRebuilt() override;

    // Empties the list and fills it again: the whole-index row (selected), then a
    // group per indexed field.
    void Rebuild() override;
    // Rebuilds once the list has been shown; an unseen list waits for its showing.
    virtual void RebuildIfNeeded();
    // Each open group lists its values again from the live value index: rows of
    // values gone are removed, new ones added, counts redrawn; the selected value
    // stays selected.
    virtual void RefreshOpenGroups();
    // As RefreshOpenGroups, only the groups the changes since the last refresh reached.
    void RefreshChangedGroups();
    virtual void AddFieldGroup(SInt32 fieldKey);

    void ItemNotification(LDataBrowserItem* item, DataBrowserItemNotification message) override;
    // Keys and commands go to the organized view.
    CIndexView* GetCommandView() const override { return GetOrganizedView(); }

    // The rows, for the rows themselves and for tests.
    CSourceItemLibrary* GetLibraryRow() const { return mLibrary; }
    CSourceParentDynamic* FindGroup(SInt32 fieldKey) const;
    CSourceItemDynamic* FindValueRow(SInt32 fieldKey, const QString& value) const;
    // The model whose items the list organizes (the document's); null before one
    // is given and once it is gone.
    CIndexModel* GetOrganizedModel() const { return mModel; }
    void SetOrganizedModel(CIndexModel* model);
    // The view that shows the model: a row's click filters it, keys go to it.
    CIndexView* GetOrganizedView() const;
    void SetOrganizedView(CIndexView* view);
    // True while the list changes its own selection: selections then do nothing.
    bool IsChangingSelection() const { return !mWatchSelection; }

protected:

private:
    // The whole-index row follows the model's filter.
    void FollowFilter(bool filtered);
    // The list's own menu: any choice builds the list again.
    void ShowContextualMenu(QPoint where);

    CSourceItemLibrary* mLibrary = nullptr;
    std::vector<CSourceParentDynamic*> mGroups;
    bool mWatchSelection = true;
    QPointer<CIndexModel> mModel;
    QPointer<CIndexView> mWatchedView;
    std::vector<QMetaObject::Connection> mModelConnections;
    CoalescedCall mRefresh;
    // What changed since the last refresh: any field, or these.
    bool mAllChanged = false;
    QSet<SInt32> mChangedFields;
};

// The whole-index row: selecting it shows all items; its badge counts them.
class CSourceItemLibrary : public CSourceItem {
public:
    CSourceItemLibrary();

    OSStatus GetSetItemData(DataBrowserPropertyID property, DataBrowserItemData& itemData, bool setValue) override;
    void ItemNotification(DataBrowserItemNotification message) override;
    void DrawItem(DataBrowserPropertyID property, DataBrowserItemState state, const QRect& rect,
        QPainter& painter) override;
    int GetCustomWidth(DataBrowserPropertyID property) const override;
};

// One field's group: a container that lists the field's values when opened.
// Its open state is kept in the preference named by the field key ("6016").
class CSourceParentDynamic : public CSourceItem {
public:
    explicit CSourceParentDynamic(SInt32 fieldKey);
    ~CSourceParentDynamic() override;

    SInt32 GetFieldKey() const { return mFieldKey; }
    const QString& GetFieldName() const { return mFieldName; }
    bool IsOpen() const { return mOpen; }

    OSStatus GetSetItemData(DataBrowserPropertyID property, DataBrowserItemData& itemData, bool setValue) override;
    void ItemNotification(DataBrowserItemNotification message) override;
    bool AcceptDrag(const QMimeData& drag) override;
    bool ReceiveDrag(const QMimeData& drag) override;
    // A drop on the count column is a drop on the row.
    bool AcceptItemDrag(DataBrowserPropertyID, const QRect&, const QMimeData& drag) override { return AcceptDrag(drag); }
    bool ReceiveItemDrag(DataBrowserPropertyID, const QMimeData& drag) override { return ReceiveDrag(drag); }

    // Rows for the values listed now (OrganizerListedValues), added under the group.
    void AddValueRows();
    // The group's rows made to match the live value index again.
    void RefreshValueRows();
    std::vector<CSourceItemDynamic*> GetValueRows() const;

private:
    SInt32 mFieldKey;
    QString mFieldName;
    bool mOpen = false;
};

// One value of a field.
class CSourceItemDynamic : public CSourceItem {
public:
    CSourceItemDynamic(SInt32 fieldKey, const QString& value);

    SInt32 GetFieldKey() const { return mFieldKey; }
    const QString& GetValue() const { return mValue; }
    // The number of items that have the value now.
    qsizetype CountMembers() const;

    OSStatus GetSetItemData(DataBrowserPropertyID property, DataBrowserItemData& itemData, bool setValue) override;
    void ItemNotification(DataBrowserItemNotification message) override;
    void DrawItem(DataBrowserPropertyID property, DataBrowserItemState state, const QRect& rect,
        QPainter& painter) override;
    int GetCustomWidth(DataBrowserPropertyID property) const override;
    bool AcceptDrag(const QMimeData& drag) override;
    bool ReceiveDrag(const QMimeData& drag) override;
    // A drop on the count column is a drop on the row.
    bool AcceptItemDrag(DataBrowserPropertyID, const QRect&, const QMimeData& drag) override { return AcceptDrag(drag); }
    bool ReceiveItemDrag(DataBrowserPropertyID, const QMimeData& drag) override { return ReceiveDrag(drag); }

private:
    CMetaDataListView* GetOrganizer() const;

    SInt32 mFieldKey;
    QString mValue;
};

// The count badge of the organizer's '#' column: the count in a rounded badge at
// the cell's right, in the palette's colours; nothing for 0.
void DrawCountBadge(QPainter& painter, const QRect& cell, qsizetype count, bool selected, bool active,
    const QPalette& palette);
// The room the badge of `count` takes at a cell's right.
int CountBadgeWidth(qsizetype count);

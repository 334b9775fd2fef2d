#include "CMetaDataListView.h"

#include "CIndexDoc.h"
#include "CIndexItem.h"
#include "ErrorReport.h"
#include "ExceptionCode.h"
#include "CIndexView.h"
#include "FieldKeys.h"
#include "LocalizedStrings.h"
#include "OrganizerValues.h"
#include "TaskOwnerView.h"

#include <QHeaderView>
#include <QMenu>
#include <QTreeView>

#include <algorithm>

namespace {

// At most ten refreshes of the open groups a second, however fast items change.
constexpr int kRefreshIntervalMs = 100;

constexpr UInt16 kNameColumnWidth = 74;
constexpr UInt16 kNameColumnMaxWidth = 2000;
constexpr UInt16 kCountColumnWidth = 50;
constexpr UInt16 kCountColumnMaxWidth = 76;

} // namespace

CMetaDataListView::CMetaDataListView(const LLayoutData& data)
    : CDataBrowser(data)
    , mRefresh([this] { RefreshChangedGroups(); }, kRefreshIntervalMs)
{
}

CMetaDataListView::CMetaDataListView(const SPaneInfo& info)
    : CDataBrowser(info, LDataBrowserImp::Settings {})
    , mRefresh([this] { RefreshChangedGroups(); }, kRefreshIntervalMs)
{
}

CMetaDataListView::~CMetaDataListView()
{
    mRefresh.Cancel();
    for (const auto& connection : mModelConnections)
        QObject::disconnect(connection);
    // The rows go while the list can still tell them apart from the view.
    mWatchSelection = false;
    RemoveAllItems();
    mLibrary = nullptr;
    mGroups.clear();
}

void CMetaDataListView::FinishCreateSelf()
{
    CDataBrowser::FinishCreateSelf();
    SetUpAsSideList();
    QTreeView* tree = GetControlRef();
    AddColumn(kSourceNameProperty, QStringLiteral("Organizer"), kColumnJustifyLeft, kDataBrowserIconAndTextType,
        kNameColumnWidth, kNameColumnMaxWidth, kNameColumnWidth, false, true);
    AddColumn(kSourceCountProperty, QStringLiteral("#"), kColumnJustifyRight, kDataBrowserCustomType,
        kCountColumnWidth, kCountColumnMaxWidth, kCountColumnWidth, false, false);
    // The names take what the badges leave.
    QHeaderView* header = tree->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    header->setSectionResizeMode(1, QHeaderView::Fixed);
    header->resizeSection(1, kCountColumnWidth);
    tree->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(tree, &QWidget::customContextMenuRequested, tree, [this](QPoint where) { ShowContextualMenu(where); });
}

void CMetaDataListView::SetIndexDocument(CIndexDoc* document)
{
    CDataBrowser::SetIndexDocument(document);
    SetOrganizedModel(document ? &document->GetModel() : nullptr);
    SetOrganizedView(GetIndexView());
}

CIndexView* CMetaDataListView::GetOrganizedView() const
{
    return mWatchedView;
}

void CMetaDataListView::SetOrganizedView(CIndexView* view)
{
    mWatchedView = view;
}

void CMetaDataListView::SetOrganizedModel(CIndexModel* model)
{
    if (model == mModel)
        return;
    for (const auto& connection : mModelConnections)
        QObject::disconnect(connection);
    mModelConnections.clear();
    mModel = model;
    if (!model)
        return;
    // Items that come and go, their fields and the values entered for them change
    // the rows and counts; a value index built anew and the filter change the list.
    // A field's change refreshes only the groups it can reach: a batch rating every
    // item leaves a group of many keywords alone.
    auto request = [this] {
        mAllChanged = true;
        mRefresh.Request();
    };
    mModelConnections.push_back(QObject::connect(model, &CIndexModel::itemChanged, [this](CIndexItem*, SInt32 field) {
        mChangedFields.insert(field);
        mRefresh.Request();
    }));
    mModelConnections.push_back(QObject::connect(model, &CIndexModel::itemsAdded, request));
    mModelConnections.push_back(QObject::connect(model, &CIndexModel::itemsRemoved, request));
    mModelConnections.push_back(QObject::connect(model, &CIndexModel::valuesEntered, request));
    mModelConnections.push_back(QObject::connect(
        model, &CIndexModel::valueIndexRebuilt, [this] { RunReported([this] { RebuildIfNeeded(); }); }));
    mModelConnections.push_back(
        QObject::connect(model, &CIndexModel::filterShown, [this](bool shown) { FollowFilter(shown); }));
}

void CMetaDataListView::ValueIndexRebuilt()
{
    RunReported([this] { RebuildIfNeeded(); });
}

void CMetaDataListView::RebuildIfNeeded()
{
    if (mBuilt)
        Rebuild();
}

void CMetaDataListView::Rebuild()
{
    mRefresh.Cancel();
    mAllChanged = false;
    mChangedFields.clear();
    mWatchSelection = false;
    RemoveAllItems();
    mLibrary = nullptr;
    mGroups.clear();
    if (CIndexModel* model = mModel) {
        mLibrary = new CSourceItemLibrary;
        AddItem(mLibrary);
        SelectItem(mLibrary);
        if (model->HasValueIndex()) {
            // The groups in the order of "MDIKeys", the fields the index was built from.
            for (SInt32 field : model->GetValueIndexKeys()) {
                // A field without a name is left out; the others are listed.
                if (model->GetValueSets(field) && !FindGroup(field))
                    CatchCode([&] { AddFieldGroup(field); });
            }
        }
    }
    mWatchSelection = true;
    AdjustScrollbars();
}

void CMetaDataListView::AddFieldGroup(SInt32 fieldKey)
{
    auto* group = new CSourceParentDynamic(fieldKey);
    mGroups.push_back(group);
    AddItem(group);
}

void CMetaDataListView::RefreshOpenGroups()
{
    mAllChanged = true;
    RefreshChangedGroups();
}

void CMetaDataListView::RefreshChangedGroups()
{
    const bool all = std::exchange(mAllChanged, false);
    const QSet<SInt32> fields = std::exchange(mChangedFields, {});
    if (!mModel)
        return;
    const bool watching = std::exchange(mWatchSelection, false);
    for (CSourceParentDynamic* group : mGroups) {
        const bool reached = all || std::any_of(fields.begin(), fields.end(), [&](SInt32 field) {
            return CIndexModel::ChangeReachesKey(field, group->GetFieldKey());
        });
        if (group->IsOpen() && reached)
            group->RefreshValueRows();
    }
    if (mLibrary)
        UpdateItem(mLibrary, mLibrary->GetContainer(), kSourceCountProperty);
    mWatchSelection = watching;
    AdjustScrollbars();
}

CSourceParentDynamic* CMetaDataListView::FindGroup(SInt32 fieldKey) const
{
    auto found = std::find_if(mGroups.begin(), mGroups.end(),
        [&](CSourceParentDynamic* group) { return group->GetFieldKey() == fieldKey; });
    return found == mGroups.end() ? nullptr : *found;
}

CSourceItemDynamic* CMetaDataListView::FindValueRow(SInt32 fieldKey, const QString& value) const
{
    CSourceParentDynamic* group = FindGroup(fieldKey);
    if (!group)
        return nullptr;
    for (CSourceItemDynamic* row : group->GetValueRows()) {
        if (row->GetValue() == value)
            return row;
    }
    return nullptr;
}

void CMetaDataListView::FollowFilter(bool filtered)
{
    if (!mLibrary)
        return;
    const bool watching = std::exchange(mWatchSelection, false);
    if (filtered) {
        DeselectItem(mLibrary);
    } else if (!IsItemSelected(mLibrary) || CountItems(kDataBrowserItemIsSelected) != 1) {
        SelectNone();
        SelectItem(mLibrary);
    }
    mWatchSelection = watching;
}

void CMetaDataListView::ShowContextualMenu(QPoint where)
{
    QMenu menu;
    menu.addAction(CopyLocalizedString(QStringLiteral("ORGANIZER_REBUILD")));
    if (menu.exec(GetControlRef()->viewport()->mapToGlobal(where)))
        RunReported([this] { Rebuild(); });
}

void CMetaDataListView::ItemNotification(LDataBrowserItem* item, DataBrowserItemNotification message)
{
    CDataBrowser::ItemNotification(item, message);
    // The whole index is chosen whenever nothing else is.
    if ((message == kDataBrowserItemDeselected || message == kDataBrowserSelectionSetChanged) && mWatchSelection
        && mLibrary && CountItems(kDataBrowserItemIsSelected) == 0)
        SelectItem(mLibrary);
}

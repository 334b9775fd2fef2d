// The index view's filter, quick search and ratings: what narrows what it shows
// and what rates its items, over the index model's value index and filter list.
#include "CIndexView.h"

#include "BatchActions.h"
#include "CCriteria.h"
#include "CIndexItem.h"
#include "CSearchTask.h"
#include "ExceptionCode.h"
#include "FieldKeys.h"
#include "LWindow.h"
#include "LocalizedStrings.h"

namespace {

// The rating each item of menu 228 gives, best first.
constexpr SInt32 kMenuRatings[] = { 9, 7, 6, 4, 2, 0 };

// The fields an "all fields" quick search looks in (one criterion of any text
// field: a word in any one of them finds the item).
constexpr SInt32 kQuickSearchAllFields = kAnyTextFieldCategory;

} // namespace

// --- Filter ------------------------------------------------------------------------------------------------

void CIndexView::SetFilterTitle(const QString* title, bool clear)
{
    LWindow* window = GetContainingWindow();
    if (clear)
        RestoreSavedCaption();
    if (!title || !window)
        return;
    // A second filter keeps the title the window had before the first.
    if (!mSavedCaption)
        mSavedCaption = window->GetCFDescriptor();
    window->SetCFDescriptor(QStringLiteral("%1 [%2]").arg(*mSavedCaption, *title));
}

void CIndexView::RestoreSavedCaption()
{
    if (!mSavedCaption)
        return;
    if (LWindow* window = GetContainingWindow())
        window->SetCFDescriptor(*mSavedCaption);
    mSavedCaption.reset();
}

// The model drops the selection and the list views reload with its reset; the
// broadcasts (3031, 3003) follow the model's filterShown, whoever changed the filter.
void CIndexView::ShowFilter(const QString* title, bool refresh, bool clear)
{
    mModel->ShowFilter(clear);
    if (refresh)
        Refresh();
    SetFilterTitle(title, clear);
}

bool CIndexView::ShowItemsAsFilter(const QString* title, const QSet<CIndexItem*>& items, bool clear)
{
    const std::vector<CIndexItem*> list(items.begin(), items.end());
    return ShowItemsAsFilter(title, std::span<CIndexItem* const>(list), clear);
}

bool CIndexView::ShowItemsAsFilter(const QString* title, std::span<CIndexItem* const> items, bool clear)
{
    if (!mModel->ShowItemsAsFilter(items, clear))
        return false;
    Refresh();
    SetFilterTitle(title, clear);
    return true;
}

void CIndexView::ShowAllItems(bool refresh)
{
    if (mModel->ShowAllItems() && refresh)
        Refresh();
}

// --- Quick search and ratings -----------------------------------------------------------------------------------

void CIndexView::StartQuickSearch(SInt32 fieldKey, const QString& text)
{
    ShowAllItems(true);
    if (text.isEmpty())
        return;
    const QString title = CopyLocalizedCFString(601, 39) + QStringLiteral(" \"") + text + QLatin1Char('"');
    // The task layer owns a started task and deletes it at its end.
    auto* task = new CSearchTask(title, *mModel, kSearchKindSearch);
    task->SetResultAction(kResultShowFilter);
    const SInt32 field = fieldKey == kAllFieldsKey ? kQuickSearchAllFields : fieldKey;
    task->AddCriterion(std::make_unique<CCriteria>(field, kSelectorContains, text));
    task->AddItems(GetItemList().Items());
    task->Start();
}

SInt32 CIndexView::RatingOfMenuItem(SInt16 menuItem)
{
    if (menuItem < 1 || menuItem > SInt16(std::size(kMenuRatings)))
        return -1;
    return kMenuRatings[menuItem - 1];
}

bool CIndexView::RateSelectedItems(SInt16 menuItem, CIndexItem* item)
{
    if (RatingOfMenuItem(menuItem) < 0)
        return false; // an item of the menu with no rating of its own
    return RateItems(*mModel, menuItem, item ? std::vector<CIndexItem*> { item } : mModel->SelectedItems());
}

bool CIndexView::RateItems(CIndexModel& model, SInt16 menuItem, const std::vector<CIndexItem*>& items)
{
    const SInt32 rating = RatingOfMenuItem(menuItem);
    if (rating < 0 || items.empty())
        return false;
    auto* task = new CSearchTask(QStringLiteral("RATING_ITEMS"), model, kSearchKindBatch);
    task->SetResultAction(kResultBatchByPreference);
    task->AddCriterion(std::make_unique<CCriteria>(kFieldUrgencyLabel, kBatchSet, QString::number(rating)));
    for (CIndexItem* each : items)
        task->InsertItem(each, kInsertAtEnd);
    task->Start();
    return true;
}

#include "CIndexDoc.h"
#include "CIndexItem.h"
#include "CIndexModel.h"
#include "CSearchTask.h"
#include "ExceptionCode.h"
#include "IndexDocServices.h"
#include "IndexViewServices.h"
#include "LCommander.h"
#include "LWindow.h"
#include "LocalizedStrings.h"

#include <QScopeGuard>

#include <algorithm>
#include <iterator>

// The owner's side of the results: every change goes through the owner's index
// model, so that found items enter the filter list only and a moved item keeps
// one place in the index; the view showing it follows the model.

CIndexModel& CSearchTask::OwnerModel() const
{
    CIndexModel* model = GetModel();
    ThrowIfNil_(model);
    return *model;
}

void CSearchTask::ShowOwnerFilter()
{
    OwnerModel().ShowFilter(true);
    // The window showing the index is titled "its title [the search's title]"
    // until all items show again.
    if (TaskOwnerView* view = FindTaskOwnerView(&OwnerModel()))
        view->ShowFilterTitle(GetTitle());
}

void CSearchTask::ShowFoundInOwner()
{
    if (mResultAction != kResultShowFilter || mKind == kSearchKindBatch)
        return;
    std::erase(mFound, nullptr);
    CIndexModel& model = OwnerModel();
    // One change for everything found so far: the filter list only, never all items.
    if (!model.ReplaceFilterItems(mFound))
        return;
    // The marked duplicates in one change, however many: selected one by one,
    // each would merge into every range selected before it.
    std::vector<CIndexItem*> marked;
    std::copy_if(mFound.begin(), mFound.end(), std::back_inserter(marked),
        [](CIndexItem* item) { return item->TestFlags(kItemFlagDuplicate); });
    model.SelectItems(marked);
}

void CSearchTask::SelectInOwner(CIndexItem* item)
{
    // Through the model: the grid and the list draw it and the commands follow.
    OwnerModel().SelectItem(item);
}

void CSearchTask::FocusOwner()
{
    // Only when the search was asked for from the owner's own window.
    TaskOwnerView* view = GetOwnerView();
    auto* pane = dynamic_cast<LPane*>(view);
    auto* commander = dynamic_cast<LCommander*>(view);
    if (mSource && pane && commander && pane->GetContainingWindow() == mSource && view->IsShown())
        LCommander::SwitchTarget(commander);
}

bool CSearchTask::IsNewIndexAction(SInt32 action)
{
    return action == kResultMoveToNewIndex || action == kResultCopyAndView || action == kResultCopyPerGroup
        || action == kResultMovePerGroup || action == kResultCopyToNewIndex;
}

void CSearchTask::DoResultAction()
{
    ShowPauseButton(false);
    ShowStopButton(false);
    SetProgressMin(0);
    SetProgressMax(SInt32(mFound.size()));
    SetProgress(1);
    SetStatusCaption(601, 40);
    SetCaption6(QString());
    SetStatusString(QString());

    // The list is emptied however the action ends. An item deleted while the
    // action yields is nulled in it (RemoveItem).
    auto empty = qScopeGuard([&] { mFound.clear(); });
    if (IsNewIndexAction(mResultAction)) {
        FillResultDocument();
        return;
    }

    if (!GetModel())
        return;
    CIndexModel& model = OwnerModel();
    TaskOwnerView* view = GetOwnerView();
    auto* commander = dynamic_cast<LCommander*>(view);
    if (mResultAction == kResultSelect || mResultAction == kResultMoveToTop)
        model.DeselectAll();
    bool changed = false;
    bool refused = false;
    SInt32 done = 0;
    for (size_t i = 0; i < mFound.size(); ++i) {
        CIndexItem* item = mFound[i];
        if (!item)
            continue;
        const SInt32 index = model.GetIndexOfItem(item);
        switch (mResultAction) {
        case kResultSelect: break; // all at once below
        case kResultShowInfo: item->ShowInfoWindow(commander); break;
        case kResultOpen: item->OpenInViewer(index, &model, true); break;
        case kResultReveal: item->RevealInFinder(); break;
        case kResultDelete:
            if (index && CatchCode([&] { RemoveIndexItem(model, index, false, true); }) == noErr)
                changed = true;
            else
                refused = true;
            break;
        case kResultMoveToTop:
        case kResultMoveToEnd: {
            if (!index)
                break;
            model.MoveItems({ item }, mResultAction == kResultMoveToTop ? 1 : kInsertAtEnd);
            SelectInOwner(item);
            changed = true;
            break;
        }
        default: break;
        }
        ++done;
        if (YieldIfTimeUp())
            SetProgress(done);
    }
    if (mResultAction == kResultSelect) {
        std::erase(mFound, nullptr);
        model.SelectItems(mFound);
    }
    if (view && (changed || mResultAction == kResultSelect))
        view->RevealFirstSelected();
    if (refused)
        Beep();
}

CIndexDoc* CSearchTask::NewResultDocument()
{
    auto* document = new CIndexDoc(LCommander::GetTopCommander(), QUrl(), false, false);
    mResultDocument = document;
    return document;
}

void CSearchTask::FillResultDocument()
{
    CIndexDoc* document = NewResultDocument();
    ThrowIfNil_(document);
    TaskOwnerView* ownerView = GetOwnerView();
    const bool move = mResultAction == kResultMoveToNewIndex || mResultAction == kResultMovePerGroup;
    // Named after where the items were found: the index searched, or every open one.
    const QString searched = mSourceKind == kSearchSourceOpenIndexes
        ? CopyLocalizedString(QStringLiteral("SEARCH_SOURCE_OPEN_INDEXES"))
        : (ownerView ? ownerView->GetWindowTitle() : QString());
    const QString title = mKind == kSearchKindSearch
        ? (searched.isEmpty() ? CopyLocalizedString(QStringLiteral("SEARCH_RESULTS"))
                              : CopyLocalizedString(QStringLiteral("SEARCH_RESULTS_OF")).arg(searched))
        : (ownerView ? ownerView->GetWindowTitle() : QString()) + CopyLocalizedCFString(600, 45);
    document->SetWindowTitleCF(title);

    CIndexModel& target = document->GetModel();
    target.AddRunningTask(false);
    target.SetBusy(true);
    auto release = qScopeGuard([&] {
        target.RemoveRunningTask(false);
        target.SetBusy(false);
    });
    try {
        SInt32 done = 0;
        for (size_t i = 0; i < mFound.size(); ++i) {
            CIndexItem* item = mFound[i];
            if (!item)
                continue;
            const bool marked = item->TestFlags(kItemFlagDuplicate);
            CIndexItem* entry = item;
            if (move) {
                const SInt32 index = OwnerModel().GetIndexOfItem(item);
                if (!index || CatchCode([&] { RemoveIndexItem(OwnerModel(), index, false, false); }) != noErr)
                    continue;
            } else {
                entry = new CIndexItem(*item);
            }
            std::unique_ptr<CIndexItem> held(entry);
            target.InsertItem(entry, kInsertAtEnd);
            held.release();
            if (marked) {
                item->SetFlags(item->GetFlags() & ~kItemFlagDuplicate);
                if (entry != item)
                    entry->SetFlags(entry->GetFlags() & ~kItemFlagDuplicate);
                target.SelectItem(entry);
            }
            ++done;
            if (YieldIfTimeUp()) {
                SetProgress(done);
                SetItemCaption(entry->GetName());
            }
        }
        if (TaskOwnerView* view = FindTaskOwnerView(&target))
            view->AdjustImageSize();
        if (mKeepNewListLocked)
            target.LockItemList();
    } catch (...) {
        release.dismiss();
        target.RemoveRunningTask(false);
        target.SetBusy(false);
        document->SetModified(false);
        mResultDocument = nullptr;
        document->Close();
        throw;
    }
    release.dismiss();
    target.RemoveRunningTask(false);
    target.SetBusy(false);
    // The new index holds what was found and nowhere else: closing it asks first.
    document->ShowWindow();
    if (mResultAction == kResultCopyAndView) {
        if (LWindow* window = document->GetWindow())
            window->Select();
        if (IndexDocViewServices* services = document->GetIndexView())
            services->OpenSelectedItem();
    }
}

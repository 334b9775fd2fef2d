// A batch run of the search task: its criteria are the batch's steps, applied in
// order to every pending item by the batch engine.
#include "BatchActions.h"
#include "CCriteria.h"
#include "CIndexItem.h"
#include "CIndexModel.h"
#include "CSearchTask.h"
#include "ExceptionCode.h"
#include "FieldKeys.h"
#include "LThread.h"

bool CSearchTask::IsCriterionComplete(const CCriteria& criterion) const
{
    if (mKind != kSearchKindBatch)
        return criterion.HasValue();
    // Copy, move and open need a folder or an application, not a value.
    if (criterion.GetCategory() == kFieldFileState)
        return criterion.HasKey(kCriteriaApplicationKey) || criterion.HasKey(kCriteriaCreatorKey)
            || criterion.HasKey(kCriteriaAliasKey);
    // An empty row is asked for, never taken as "clear the field".
    return !BatchCriterionNeedsValue(criterion);
}

void CSearchTask::BatchItems()
{
    TaskOwnerView* owner = GetOwner();
    std::vector<const CCriteria*> criteria;
    for (const auto& criterion : mCriteria)
        criteria.push_back(criterion.get());
    const SInt32 total = CountItems();

    BatchRun run;
    run.owner = owner;
    run.applyToFile = mResultAction == kResultBatchFiles;
    run.afterItem = [this, owner, total](CIndexItem& item, SInt32 done) {
        if (!YieldIfTimeUp())
            return;
        SetProgress(std::min(done, total));
        SetItemCaption(item.GetName());
        if (owner) {
            SInt32 all = kAnyTextFieldCategory;
            owner->BroadcastMessage(msg_ItemsChanged, &all);
        }
    };
    run.takeOut = [this, owner](CIndexItem& item) {
        if (!owner)
            return;
        CIndexModel& model = owner->GetModel();
        const SInt32 at = model.GetIndexOfItem(&item);
        if (at == 0)
            return;
        // Out of the index, not deleted: the task holds it to its end.
        CIndexItem* taken = model.TakeItemAt(at);
        if (!taken)
            return;
        RemoveItemFromTasksOfOwner(owner, taken);
        mRemoved.emplace_back(taken);
        if (at <= model.CountItems())
            model.SelectIndex(at);
    };
    ::BatchItems(
        total,
        [this]() -> CIndexItem* {
            CheckPause();
            return CountItems() > 0 ? NextItem() : nullptr;
        },
        criteria, run);
}

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
    CIndexModel* model = GetModel();
    std::vector<const CCriteria*> criteria;
    for (const auto& criterion : mCriteria)
        criteria.push_back(criterion.get());
    const SInt32 total = CountItems();

    BatchRun run;
    run.model = model;
    run.applyToFile = mResultAction == kResultBatchFiles;
    run.afterItem = [this, total](CIndexItem& item, SInt32 done) {
        if (!YieldIfTimeUp())
            return;
        SetProgress(std::min(done, total));
        SetItemCaption(item.GetName());
        SInt32 all = kAnyTextFieldCategory;
        Broadcast(msg_ItemsChanged, &all);
    };
    run.takeOut = [this, model](CIndexItem& item) {
        if (!model)
            return;
        const SInt32 at = model->GetIndexOfItem(&item);
        if (at == 0)
            return;
        // Out of the index, not deleted: the task holds it to its end.
        CIndexItem* taken = model->TakeItemAt(at);
        if (!taken)
            return;
        RemoveItemFromTasksOfOwner(model, taken);
        mRemoved.emplace_back(taken);
        if (at <= model->CountItems())
            model->SelectIndex(at);
    };
    ::BatchItems(
        total,
        [this]() -> CIndexItem* {
            CheckPause();
            return NextItemIfAny();
        },
        criteria, run);
}

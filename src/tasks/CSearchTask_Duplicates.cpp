#include "CCriteria.h"
#include "CIndexItem.h"
#include "CIndexModel.h"
#include "CItemError.h"
#include "CSearchTask.h"
#include "ExceptionCode.h"
#include "LThread.h"
#include "Offscreen.h"
#include "SearchDuplicates.h"

namespace {

constexpr UInt32 kDuplicateSliceFactor = 4;

} // namespace

// The items are taken from the pending list one by one and each one's key is read
// once; equal keys are then grouped in one pass (pictures, which have no key, are
// compared pairwise on small reductions). Each group's first item, in pending
// order, is found unmarked, the others with the duplicate mark.
void CSearchTask::FindDuplicates(SInt32 selector)
{
    const SInt32 total = CountItems();
    SetStatusString(QStringLiteral(" %"));
    SetProgressMax(100);
    SetIndeterminate(true);
    const UInt32 slice = GetTaskSlice() * kDuplicateSliceFactor;
    auto yieldAndShow = [&](SInt64 done, SInt64 of, CIndexItem* item) {
        if (!YieldIfTimeUp(slice))
            return;
        if (item)
            SetCaption6(item->GetName());
        const SInt32 progress = of > 0 ? SInt32(done * 100 / of) : 0;
        SetProgress(progress);
        if (progress > 1 && IsIndeterminate())
            SetIndeterminate(false);
        CheckPause();
    };

    const bool pixels = selector == kSelectorSamePixels;
    const size_t maxSignatures = kPixelSignatureBudget / sizeof(PixelSignature);
    std::vector<std::optional<DuplicateKey>> keys;
    std::vector<std::optional<PixelSignature>> signatures;
    mCandidates.clear();
    mCandidates.reserve(size_t(total));
    while (CountItems() > 0) {
        CIndexItem* item = NextItemIfAny();
        if (!item)
            break;
        mCandidates.push_back(item);
        StItemInUse inUse(item);
        if (!pixels) {
            keys.push_back(MakeDuplicateKey(*item, selector, mNotes.unchecked));
        } else if (signatures.size() >= maxSignatures) {
            signatures.emplace_back();
            mNotes.unchecked = true;
        } else {
            // The picture is made only for the comparison and not kept.
            const bool held = item->HasDisplayPicture();
            Offscreen* picture = nullptr;
            {
                StItemErrorSaver<CIndexItem> keepError(item);
                CatchCode([&] { picture = item->GetDisplayPicture(); });
            }
            if (!picture) {
                signatures.emplace_back();
                mNotes.unchecked = true;
            } else {
                signatures.push_back(MakePixelSignature(picture->Image()));
                if (!held)
                    item->SetDisplayPicture(nullptr);
            }
        }
        yieldAndShow(SInt64(mCandidates.size()), SInt64(total) * (pixels ? 2 : 1), item);
    }

    std::vector<std::vector<size_t>> groups;
    if (!pixels) {
        groups = GroupEqualKeys(keys);
    } else {
        // Every remaining pair once; an item found in a group starts none of its own.
        const SInt64 n = SInt64(signatures.size());
        const SInt64 pairs = n * (n - 1) / 2;
        std::vector<bool> grouped(signatures.size(), false);
        SInt64 compared = 0;
        for (size_t first = 0; first < signatures.size(); ++first) {
            if (grouped[first] || !signatures[first])
                continue;
            std::vector<size_t> group { first };
            for (size_t other = first + 1; other < signatures.size(); ++other) {
                ++compared;
                if (grouped[other] || !signatures[other] || !ArePixelsAlike(*signatures[first], *signatures[other]))
                    continue;
                grouped[other] = true;
                group.push_back(other);
            }
            if (group.size() > 1)
                groups.push_back(std::move(group));
            yieldAndShow(n + compared * n / std::max<SInt64>(1, pairs), 2 * n, mCandidates[first]);
        }
    }

    std::vector<CIndexItem*> marked;
    for (const std::vector<size_t>& positions : groups) {
        std::vector<CIndexItem*> group;
        for (size_t position : positions) {
            // An item deleted while the search yielded is out of the list (null).
            if (CIndexItem* item = mCandidates[position])
                group.push_back(item);
        }
        if (group.size() > 1)
            HandleDuplicateGroup(group, marked);
    }
    mCandidates.clear();
    // The marked items are selected in one change (in a filter, once it shows them).
    if (mResultAction != kResultShowFilter && GetModel())
        GetModel()->SelectItems(marked);
}

void CSearchTask::HandleDuplicateGroup(std::vector<CIndexItem*>& group, std::vector<CIndexItem*>& marked)
{
    AddFound(group.front());
    for (size_t i = 1; i < group.size(); ++i) {
        group[i]->AddFlags(kItemFlagDuplicate);
        AddFound(group[i]);
    }
    if (mResultAction != kResultCopyPerGroup && mResultAction != kResultMovePerGroup) {
        marked.insert(marked.end(), group.begin() + 1, group.end());
        return;
    }
    // Each group becomes its own new index, its marked items selected before they go.
    if (CIndexModel* model = GetModel())
        model->SelectItems(std::span(group).subspan(1));
    const SInt32 maximum = GetProgressMax();
    SetStatusString(QString());
    DoResultAction();
    SetStatusCaption(601, 42);
    SetProgressMax(maximum);
    SetStatusString(QStringLiteral(" %"));
}

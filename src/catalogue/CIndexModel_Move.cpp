// Moving items within the index model's current list.
#include "CIndexModel.h"

#include "CIndexItem.h"
#include "ExceptionCode.h"
#include "TaskServices.h"

#include <QSet>

SInt32 CIndexModel::MoveItems(const std::vector<CIndexItem*>& items, SInt32 index)
{
    CheckUnlocked();
    QSet<const CIndexItem*> moving;
    moving.reserve(qsizetype(items.size()));
    for (CIndexItem* item : items) {
        if (!item || GetIndexOfItem(item) == 0)
            ThrowOSErr_(err_NilPointer, "a moved item is not in the list");
        moving.insert(item);
    }
    if (items.empty() || moving.size() != qsizetype(items.size()))
        ThrowOSErr_(err_AssertFailed, "no items to move, or an item named twice");
    if (mCurrentList->GetKeepSorted() && mCurrentList->GetComparator())
        return GetIndexOfItem(items.front());

    // The order after the move, made apart from the list.
    const SInt32 count = mCurrentList->GetCount();
    std::vector<CIndexItem*> order;
    order.reserve(size_t(count));
    SInt32 first = 0;
    for (SInt32 at = 1; at <= count + 1; ++at) {
        if (at == index || (at == count + 1 && first == 0)) {
            first = SInt32(order.size()) + 1;
            order.insert(order.end(), items.begin(), items.end());
        }
        if (at <= count) {
            CIndexItem* item = (*mCurrentList)[at];
            if (!moving.contains(item))
                order.push_back(item);
        }
    }

    Reorder([&] { mCurrentList->AssignItems(std::move(order)); });
    SetModified(true);
    return first;
}

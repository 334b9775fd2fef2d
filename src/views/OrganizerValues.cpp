#include "OrganizerValues.h"

#include "BatchActions.h"
#include "CANPAInfo.h"
#include "CCriteria.h"
#include "CIndexItem.h"
#include "CIndexView.h"
#include "CSearchTask.h"
#include "ExceptionCode.h"
#include "FieldKeys.h"
#include "TaskOwnerView.h"
#include "WorkerPool.h"

#include <QMimeData>

#include <algorithm>
#include <array>

namespace {

// A name one item has is no group; three items sharing it are.
constexpr qsizetype kLeastSharedName = 3;
// Values folded at once on one core before a sort.
constexpr size_t kFoldedRun = 2048;

bool IsListField(SInt32 field)
{
    return field == kOrganizerKeywordsField || field == kOrganizerCategoriesField;
}

// Fields whose values come from the file itself: never typed over.
bool IsDerivedField(SInt32 field)
{
    return field == kOrganizerNameField || field == kOrganizerKindField || field == kOrganizerColourSpaceField
        || field == kOrganizerHeightField || field == kOrganizerWidthField;
}

// A batch over the items of the index, titled with the field's name.
CSearchTask* NewValueBatch(CIndexModel& model, SInt32 field, const std::vector<CIndexItem*>& items, LWindow* source)
{
    auto* task = new CSearchTask(OrganizerFieldName(field), model, kSearchKindBatch, source);
    task->SetResultAction(kResultBatchByPreference);
    for (CIndexItem* item : items)
        task->InsertItem(item, kInsertAtEnd);
    return task;
}

} // namespace

bool OrganizerListsValue(SInt32 field, const ValueMembers& members, bool showEmpty)
{
    if (field == kOrganizerNameField)
        return members.HasAtLeast(kLeastSharedName);
    if (field == kOrganizerRatingField)
        return true;
    return showEmpty || members.HasAtLeast(1);
}

std::vector<QString> OrganizerListedValues(const CIndexModel::ValueSets& sets, SInt32 field, bool showEmpty)
{
    std::vector<QString> values;
    values.reserve(size_t(sets.size()));
    for (auto entry = sets.cbegin(); entry != sets.cend(); ++entry) {
        if (OrganizerListsValue(field, entry.value(), showEmpty))
            values.push_back(entry.key());
    }
    SortOrganizerValues(values);
    return values;
}

void SortOrganizerValues(std::vector<QString>& values)
{
    // Case-insensitively; equal ones by their text so that the order never depends
    // on the hash. Each value is folded once, not at every comparison: a field may
    // have tens of thousands of values. Their first folded characters are sorted
    // side by side, so that most comparisons read no text at all.
    std::vector<QString> folded(values.size());
    struct Head {
        std::array<quint64, 4> units {}; // the first 16 folded UTF-16 units, padded with 0
        size_t index = 0;
    };
    std::vector<Head> heads(values.size());
    // Folded on every core, a run at a time: folding makes a string for each
    // value, and a field's tens of thousands held the window tens of milliseconds.
    const size_t runs = (values.size() + kFoldedRun - 1) / kFoldedRun;
    WorkerPool::RunEachHolding(runs, [&](size_t run) {
        for (size_t i = run * kFoldedRun; i < std::min(values.size(), (run + 1) * kFoldedRun); ++i) {
            folded[i] = values[i].toCaseFolded();
            heads[i].index = i;
            const qsizetype count = std::min<qsizetype>(folded[i].size(), qsizetype(heads[i].units.size() * 4));
            for (qsizetype unit = 0; unit < count; ++unit)
                heads[i].units[size_t(unit / 4)] |= quint64(folded[i][unit].unicode()) << (48 - 16 * (unit % 4));
        }
    });
    std::sort(heads.begin(), heads.end(), [&](const Head& a, const Head& b) {
        if (a.units != b.units)
            return a.units < b.units;
        const int order = folded[a.index].compare(folded[b.index]);
        return order != 0 ? order < 0 : values[a.index] < values[b.index];
    });
    std::vector<QString> sorted;
    sorted.reserve(values.size());
    for (const Head& head : heads)
        sorted.push_back(std::move(values[head.index]));
    values = std::move(sorted);
    // As many strings given back: on a worker, while the window goes on.
    WorkerPool::LetGo([folded = std::move(folded)]() mutable { std::vector<QString>().swap(folded); });
}

bool OrganizerValueIsEditable(SInt32 field)
{
    return !IsDerivedField(field) && field != kOrganizerRatingField;
}

bool OrganizerGroupAcceptsDrop(SInt32 field)
{
    return !IsDerivedField(field) && field != kOrganizerRatingField;
}

bool OrganizerValueAcceptsDrop(SInt32 field)
{
    return !IsDerivedField(field);
}

QString OrganizerValueText(SInt32 field, const QString& value)
{
    if (field == kOrganizerRatingField)
        return CANPAInfo::CopyUrgencyLabel(value.toInt());
    return value;
}

QString OrganizerFieldName(SInt32 field)
{
    QString name;
    CatchCode([&] { name = CopyFieldName(field); });
    if (name.isEmpty())
        ThrowOSErr_(err_NilPointer, "field " + std::to_string(field) + " has no display name");
    return name;
}

QString OrganizerFilterCaption(SInt32 field, const QString& value)
{
    const QString name = OrganizerFieldName(field);
    if (field == kOrganizerRatingField)
        return name + QLatin1Char(' ') + OrganizerValueText(field, value);
    return name + QStringLiteral(" \"") + value + QLatin1Char('"');
}

const ValueMembers* OrganizerMembers(const CIndexModel& model, SInt32 field, const QString& value)
{
    const CIndexModel::ValueSets* sets = model.GetValueSets(field);
    if (!sets)
        return nullptr;
    auto found = sets->constFind(value);
    return found == sets->constEnd() ? nullptr : &*found;
}

qsizetype OrganizerMemberCount(const CIndexModel& model, SInt32 field, const QString& value)
{
    const ValueMembers* members = OrganizerMembers(model, field, value);
    return members ? members->size() : 0;
}

void FilterToValue(CIndexView& view, SInt32 field, const QString& value, bool add)
{
    const QString caption = OrganizerFilterCaption(field, value);
    CIndexModel& model = view.GetModel();
    const ValueMembers* members = OrganizerMembers(model, field, value);
    // The filter lists them in the view's order, each once, however many of the
    // values shown it has.
    if (!view.ShowItemsAsFilter(
            &caption, members ? std::span<CIndexItem* const>(members->Items()) : std::span<CIndexItem* const>(), !add))
        return;
    SInt32 state = 0;
    view.BroadcastMessage(msg_ViewStateChanged, &state);
}

std::unique_ptr<CCriteria> OrganizerSetCriterion(SInt32 field, const QString& value)
{
    return std::make_unique<CCriteria>(field, IsListField(field) ? kBatchAdd : kBatchSet, value);
}

CSearchTask* StartValueRename(CIndexModel& model, SInt32 field, const QString& value, const QString& newText)
{
    if (newText == value)
        return nullptr;
    const ValueMembers* members = OrganizerMembers(model, field, value);
    if (!members || members->isEmpty())
        return nullptr;
    CSearchTask* task = NewValueBatch(model, field, members->Items(), nullptr);
    // A keyword or category is one entry of a list: the old one goes, the new one comes.
    if (IsListField(field))
        task->AddCriterion(std::make_unique<CCriteria>(field, kBatchRemove, value));
    task->AddCriterion(std::make_unique<CCriteria>(field, IsListField(field) ? kBatchAdd : kBatchSet, newText));
    task->Start();
    return task;
}

CSearchTask* StartValueDrop(
    CIndexModel& model, SInt32 field, const QString& value, const std::vector<CIndexItem*>& items, LWindow* source)
{
    if (items.empty() || !OrganizerValueAcceptsDrop(field))
        return nullptr;
    CSearchTask* task = NewValueBatch(model, field, items, source);
    task->AddCriterion(OrganizerSetCriterion(field, value));
    task->Start();
    return task;
}

CSearchTask* StartGroupDrop(CIndexModel& model, SInt32 field, const std::vector<CIndexItem*>& items, LWindow* source)
{
    if (items.empty() || !OrganizerGroupAcceptsDrop(field))
        return nullptr;
    CSearchTask* task = NewValueBatch(model, field, items, source);
    // The value is asked for; the task starts once it has one, and goes when cancelled.
    task->AddOrAskCriterion(OrganizerSetCriterion(field, QString()));
    return task;
}

std::vector<CIndexItem*> DraggedIndexItems(const QMimeData& drag, const CIndexModel& model)
{
    std::vector<CIndexItem*> items;
    CIndexItem* item = CIndexItem::FindDraggedItem(drag, [&](UInt64 sequence) -> CIndexItem* {
        for (CIndexItem* each : model.GetAllItems()) {
            if (each->GetSequenceNumber() == sequence)
                return each;
        }
        return nullptr;
    });
    if (item)
        items.push_back(item);
    return items;
}

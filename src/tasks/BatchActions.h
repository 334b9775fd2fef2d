#pragma once

#include "MacTypes.h"

#include <QString>

#include <functional>
#include <vector>

class CCriteria;
class CIndexItem;
class CIndexModel;

// Batch operations (a criterion's selector in a batch).
enum : SInt32 {
    kBatchAdd = 7200,
    kBatchRemove = 7201,
    kBatchSet = 7202,
    kBatchAppend = 7203,
    kBatchWritePreview = 7204,
    kBatchRefresh = 7205,
    kBatchPrepend = 7206,
    kBatchChangeCase = 7207,
    kBatchDecrease = 7208,
    kBatchIncrease = 7209,
};

// The operand of a change of case.
enum : SInt32 {
    kCaseUpper = 7300,
    kCaseLower = 7301,
    kCaseWords = 7302,
    kCaseStripDiacritics = 7303,
    kCaseFirst = 7304,
};

// A batch's result action: only the catalogue changes, or the media files too.
enum : SInt32 {
    kBatchCatalogueOnly = 8011,
    kBatchApplyToFile = 8012,
};

// An operand that numbers the items of a run.
inline const QString kNumberingPrefix = QStringLiteral("##");

// What one batch run works with.
struct BatchRun {
    CIndexModel* model = nullptr; // the index whose items change (may be null)
    bool applyToFile = false;       // 8012
    // An item's failure: by default the item takes an error with the code.
    std::function<void(CIndexItem&, OSStatus)> itemError;
    // The one report at the end (100059); by default an alert.
    std::function<void(SInt32)> report;
    // Called between items (the task's pause check and time slice).
    std::function<void(CIndexItem&, SInt32 done)> afterItem;
    // A move whose step asks for it ("MoveRemoveSetting") takes the item out of
    // the owner; without this the item stays.
    std::function<void(CIndexItem&)> takeOut;
};

struct BatchOutcome {
    SInt32 done = 0;      // items the criteria ran on
    SInt32 errors = 0;    // failed criteria
    bool modified = false;
    bool outOfMemory = false; // the run ended early
};

// Runs every criterion, in order, on every item. A failing criterion gives the
// item an error and the next criterion follows; out of memory (-108) ends the run.
// The owner is marked modified when an item was changed, and one 100059 is
// reported when anything failed. paramErr, before any item is touched, when a
// criterion lacks the value it needs (the caller asks for it first).
BatchOutcome BatchItems(const std::vector<CIndexItem*>& items, const std::vector<const CCriteria*>& criteria,
    BatchRun& run);
// The same over `total` items handed one at a time by `next` (null ends the run
// early): a task's pending list, which loses items deleted while it yields.
BatchOutcome BatchItems(SInt32 total, const std::function<CIndexItem*()>& next,
    const std::vector<const CCriteria*>& criteria, BatchRun& run);

// One criterion on one item; throws the failure's code.
void ApplyBatchAction(CIndexItem& item, const CCriteria& criterion, BatchRun& run);

// True when the criterion takes an operand and its value is empty: the user is
// asked rather than the field being cleared.
bool BatchCriterionNeedsValue(const CCriteria& criterion);

// The pure parts, shared with the tests.
QString BatchTextOperation(const QString& text, SInt32 selector, const QString& operand);
// As BatchTextOperation, with a file name's suffix (".jpeg") set aside.
QString BatchNameOperation(const QString& name, SInt32 selector, const QString& operand);
// The length of a name's suffix with its dot: the last dot that does not begin the
// name, followed by 1 to 5 characters without spaces; 0 without one.
qsizetype FileSuffixLength(const QString& name);
// The operand "##[start]" for the k-th item (from 0) of a run of `total`.
QString NumberedOperand(const QString& value, SInt32 total, SInt32 k);
UInt32 TurnFlags(UInt32 flags, UInt32 change);
// The urgency label (0-9) a step gives; the ends hold.
SInt32 StepUrgencyLabel(SInt32 urgency, SInt32 selector);
// The new 1-based position of the item at p: n later (7208), n earlier (7209) or
// at n, kept within [1, count].
SInt32 BatchPosition(SInt32 n, SInt32 p, SInt32 count, SInt32 selector);
// A comma list without the entries equal to `entry`, ignoring case.
QString RemoveListEntries(const QString& list, const QString& entry);

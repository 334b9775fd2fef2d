#pragma once

#include "CVisualTask.h"
#include "SearchEvaluation.h"
#include "Sounds.h"
#include "TaskOwnerView.h"

#include <QVariantList>

#include <memory>
#include <optional>
#include <vector>

class CCriteria;
class CIndexDoc;
class CIndexModel;
class LWindow;

// What a search, duplicate search or batch run does.
enum : SInt16 {
    kSearchKindDuplicates = 6100,
    kSearchKindSearch = 6101,
    kSearchKindBatch = 6102,
};

// What happens to the found items once the run ends.
enum : SInt32 {
    kResultSelect = 8000,         // selected in the owner
    kResultShowFilter = 8001,     // the owner shows them as its filter (the default)
    kResultMoveToNewIndex = 8002, // moved out of the owner into a new index
    kResultShowInfo = 8003,       // each one's info window
    kResultOpen = 8004,           // each one opened in the viewer
    kResultReveal = 8005,         // each file shown in the file manager
    kResultDelete = 8006,         // removed from the owner and deleted
    kResultNothing = 8007,
    kResultCopyAndView = 8008,    // copied into a new index, whose first item opens
    kResultCopyPerGroup = 8009,   // duplicates: each group copied into a new index of its own
    kResultMovePerGroup = 8010,   // duplicates: each group moved into a new index of its own
    kResultBatchCatalogue = 8011, // a batch that changes the catalogue only
    kResultBatchFiles = 8012,     // a batch that writes into the files too
    kResultMoveToTop = 8013,      // moved to the owner's start, selected
    kResultMoveToEnd = 8014,      // moved to the owner's end, selected
    kResultBatchByPreference = 8015, // stored as 8011 or 8012 by "ApplyChangesToMediaFile"
    kResultCopyToNewIndex = 8016,
};

// Where a search's items come from.
enum : SInt32 {
    kSearchSourceAllItems = 9000,
    kSearchSourceSelection = 9001,
    kSearchSourceOpenIndexes = 9002, // only with 8016: the items are copied, never moved or shown
};

// The duplicate mark of an item's flag word.
inline constexpr UInt32 kItemFlagDuplicate = 0x20000000;

// The task of one search, duplicate search or batch over items of one index, and
// the action on what it found.
//
// A creator builds it, sets the result action, adds the items (InsertItem with
// kInsertAtEnd) and then the criteria, and starts it:
// - AddCriterion only adds; the creator then calls Start.
// - AddOrAskCriterion and LoadCriteria ask the user for what a criterion lacks
//   (the prompts) and start the task themselves once nothing is left to answer.
//   Every prompt opened counts one answer outstanding; an answer (9001) adds the
//   criterion, a cancel (9004) drops it; the run starts when the count is back to
//   0. Destroying the task before that closes its prompts.
//
// A search tests the criteria in order and stops at the first that fails (AND). A
// duplicate search groups the items by the first criterion's selector: the first
// item of each group is found unmarked, the others carry the duplicate mark.
//
// The owner counts the task among its running searches from construction to
// destruction and is busy while it runs. Found items are held by pointer: an item
// the owner deletes meanwhile leaves the found list as it leaves the pending list.
class CSearchTask : public CVisualTask {
public:
    CSearchTask(const QString& titleKey, CIndexModel& model, SInt16 kind, LWindow* source = nullptr);
    CSearchTask(SInt16 titleList, SInt16 titleIndex, CIndexModel& model, SInt16 kind, LWindow* source = nullptr);
    ~CSearchTask() override;

    // 9001 and 9004 from a criterion this task asked; the rest goes to the base.
    void ListenToMessage(MessageT message, void* ioParam) override;
    void Finish(bool stopped) override;

    // Appends (the task owns it); 'nilP' for null.
    void AddCriterion(std::unique_ptr<CCriteria> criterion);
    // Adds the criterion, or asks the user for its missing value, folder or
    // application first. Starts the task when nothing is left to answer.
    void AddOrAskCriterion(std::unique_ptr<CCriteria> criterion);
    // The criteria of a stored setting, each handled as AddOrAskCriterion, the
    // task started once when nothing is left to answer. 'nilP' for an entry that
    // is no dictionary.
    void LoadCriteria(const QVariantList& criteria);
    void RemoveCriterion(CCriteria* criterion);
    const std::vector<std::unique_ptr<CCriteria>>& GetCriteria() const { return mCriteria; }
    SInt32 CountPendingAnswers() const { return -mPendingAnswers; }

    // 8015 becomes 8012 when "ApplyChangesToMediaFile" is on, else 8011. A task
    // whose items come from every open index keeps 8016.
    void SetResultAction(SInt32 action);
    // Where the items come from (9000 all items, 9001 the selection, 9002 every
    // open index). Items of other indexes can only be copied: 9002 sets the result
    // action to 8016 (copy into a new index) for good, so that no item enters an
    // index that does not own it.
    void SetSourceKind(SInt32 sourceKind);
    // Adds the items of a source at the end: for 9000 and 9001 the owner shows all
    // its items first, then gives them all or its selected ones; for 9002 every
    // open index gives its items, a file that several hold once. Other kinds add none.
    void InsertSourceItems(SInt32 sourceKind);
    SInt32 GetResultAction() const { return mResultAction; }
    SInt16 GetKind() const { return mKind; }
    void SetKeepNewListLocked(bool keep) { mKeepNewListLocked = keep; }

    // What the run found (the found list is emptied by the result action).
    const std::vector<CIndexItem*>& GetFoundItems() const { return mFound; }
    SInt32 GetFoundCount() const { return mFoundCount; }
    bool IsUnchecked() const { return mNotes.unchecked; }
    // The index a result action made (null before, or when none was made).
    CIndexDoc* GetResultDocument() const { return mResultDocument; }

    // Also takes the item out of the found list.
    void RemoveItem(CIndexItem* item) override;

    // Adds a found item to the found list; with 8001 the owner's filter shows the
    // list, brought up to date whenever the run yields and at its end.
    virtual void AddFound(CIndexItem* item);
    // "Execute search task:..." with each criterion: a debugging aid.
    QString Dump() const;

protected:
    void RunTask() override;
    virtual void SearchItems();
    virtual void FindDuplicates(SInt32 selector);
    // The batch engine over the pending items: each criterion a step, in order.
    virtual void BatchItems();
    virtual void DoResultAction();

private:
    void Init(SInt16 kind, LWindow* source);
    // Nothing left to ask the user: a value (a batch step that takes none needs
    // none), or for a batch's copy, move or open a folder or an application.
    bool IsCriterionComplete(const CCriteria& criterion) const;
    void AskCriterion(std::unique_ptr<CCriteria> criterion);
    void StartIfAnswered();
    void ReportEmptyResult();
    void HandleDuplicateGroup(std::vector<CIndexItem*>& group, std::vector<CIndexItem*>& marked);
    CIndexDoc* NewResultDocument();
    void FillResultDocument();
    static bool IsNewIndexAction(SInt32 action);
    void Beep() const;

    // The owner's index model and what the run does to it.
    CIndexModel& OwnerModel() const;
    void ShowOwnerFilter();
    // With 8001: the owner's filter becomes the found list, the duplicates in it selected.
    void ShowFoundInOwner();
    void SelectInOwner(CIndexItem* item);
    void FocusOwner();

    LWindow* mSource = nullptr;
    SInt32 mPendingAnswers = 0; // lowered per prompt, raised per answer
    bool mStartRequested = false;
    bool mStarted = false;
    std::optional<StCompletionSound> mCompletionSound;
    std::vector<std::unique_ptr<CCriteria>> mCriteria;
    std::vector<std::unique_ptr<CCriteria>> mAsked; // prompts not yet answered
    std::vector<CIndexItem*> mFound;
    std::vector<std::unique_ptr<CIndexItem>> mRemoved; // items a batch move took out of the index
    SInt32 mResultAction = kResultShowFilter;
    SInt32 mSourceKind = kSearchSourceAllItems;
    SInt16 mKind = kSearchKindSearch;
    EvaluationNotes mNotes;
    SInt32 mFoundCount = 0;
    CIndexDoc* mResultDocument = nullptr;
    bool mKeepNewListLocked = false;
    ModelBusyMark mBusy;
    // Items under the duplicate search: each entry nulled when its item is deleted.
    std::vector<CIndexItem*> mCandidates;
};

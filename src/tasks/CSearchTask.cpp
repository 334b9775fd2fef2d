#include "CSearchTask.h"

#include "CCriteria.h"
#include "CIndexDoc.h"
#include "CIndexItem.h"
#include "ErrorCodes.h"
#include "ErrorReport.h"
#include "ExceptionCode.h"
#include "FieldKeys.h"
#include "LThread.h"
#include "LWindow.h"
#include "LocalizedStrings.h"
#include "Preferences.h"

#include <QApplication>
#include <QDebug>
#include <QElapsedTimer>
#include <QSet>

#include <algorithm>
#include <optional>

namespace {

constexpr SInt32 kItemsPerClockRead = 32;
// Finds that trickle in are shown at least this often.
constexpr qint64 kShowFindsEveryMs = 500;

} // namespace

CSearchTask::CSearchTask(const QString& titleKey, CIndexModel& model, SInt16 kind, LWindow* source)
    : CVisualTask(titleKey, &model)
{
    Init(kind, source);
}

CSearchTask::CSearchTask(SInt16 titleList, SInt16 titleIndex, CIndexModel& model, SInt16 kind, LWindow* source)
    : CVisualTask(titleList, titleIndex, &model)
{
    Init(kind, source);
}

void CSearchTask::Init(SInt16 kind, LWindow* source)
{
    mKind = kind;
    mSource = source;
    mCompletionSound.emplace(20);
    if (CIndexModel* model = GetModel())
        model->AddRunningTask(true);
}

CSearchTask::~CSearchTask()
{
    if (CIndexModel* model = GetModel()) {
        mBusy.Lower(model);
        model->RemoveRunningTask(true);
    }
    // Prompts still open are closed with their criteria.
    for (auto& asked : mAsked)
        asked->RemoveListener(this);
    mAsked.clear();
}

// --- Criteria and prompts ------------------------------------------------------------------------

void CSearchTask::AddCriterion(std::unique_ptr<CCriteria> criterion)
{
    ThrowIfNil_(criterion);
    mCriteria.push_back(std::move(criterion));
}

void CSearchTask::RemoveCriterion(CCriteria* criterion)
{
    std::erase_if(mCriteria, [&](const auto& held) { return held.get() == criterion; });
}

void CSearchTask::AddOrAskCriterion(std::unique_ptr<CCriteria> criterion)
{
    ThrowIfNil_(criterion);
    if (IsCriterionComplete(*criterion)) {
        AddCriterion(std::move(criterion));
        mStartRequested = true;
        StartIfAnswered();
        return;
    }
    AskCriterion(std::move(criterion));
}

void CSearchTask::LoadCriteria(const QVariantList& criteria)
{
    for (const QVariant& entry : criteria) {
        if (entry.typeId() != QMetaType::QVariantMap)
            ThrowOSErr_(err_NilPointer, "a stored criterion is no dictionary");
        auto criterion = std::make_unique<CCriteria>(entry.toMap());
        if (IsCriterionComplete(*criterion))
            AddCriterion(std::move(criterion));
        else
            AskCriterion(std::move(criterion));
    }
    mStartRequested = true;
    StartIfAnswered();
}

void CSearchTask::AskCriterion(std::unique_ptr<CCriteria> criterion)
{
    CCriteria* asked = criterion.get();
    asked->AddListener(this);
    mAsked.push_back(std::move(criterion));
    --mPendingAnswers;
    try {
        const bool batchFile = mKind == kSearchKindBatch && asked->GetCategory() == kFieldFileState;
        const QString count = QString::number(CountItems());
        if (batchFile && asked->GetSelector() == kSelectorOpenInApplication)
            asked->ChooseApplication(CopyLocalizedString(QStringLiteral("OPEN_X_IN_APPLICATION")).arg(count), mSource);
        else if (batchFile)
            asked->ChooseFolder(CopyLocalizedString(asked->GetSelector() == kSelectorMoveToFolder
                                        ? QStringLiteral("MOVE_X_MEDIA_PROMT")
                                        : QStringLiteral("COPY_X_MEDIA_PROMT"))
                                    .arg(count),
                mSource);
        else
            asked->AskValue(GetTitle(), mSource);
    } catch (...) {
        // The prompt never opened: nothing is outstanding for it.
        asked->RemoveListener(this);
        std::erase_if(mAsked, [&](const auto& held) { return held.get() == asked; });
        ++mPendingAnswers;
        throw;
    }
}

void CSearchTask::ListenToMessage(MessageT message, void* ioParam)
{
    if (message != msg_CriteriaChosen && message != msg_CriteriaCancelled) {
        CVisualTask::ListenToMessage(message, ioParam);
        return;
    }
    auto* criterion = static_cast<CCriteria*>(ioParam);
    auto held = std::find_if(mAsked.begin(), mAsked.end(), [&](const auto& one) { return one.get() == criterion; });
    if (held == mAsked.end())
        return;
    criterion->RemoveListener(this);
    std::unique_ptr<CCriteria> answered = std::move(*held);
    mAsked.erase(held);
    if (message == msg_CriteriaChosen)
        AddCriterion(std::move(answered));
    ++mPendingAnswers;
    mStartRequested = true;
    StartIfAnswered();
}

void CSearchTask::StartIfAnswered()
{
    if (mPendingAnswers != 0 || !mStartRequested || mStarted)
        return;
    mStartRequested = false;
    mStarted = true;
    Start();
}

void CSearchTask::SetSourceKind(SInt32 sourceKind)
{
    mSourceKind = sourceKind;
    if (sourceKind == kSearchSourceOpenIndexes)
        mResultAction = kResultCopyToNewIndex;
}

void CSearchTask::InsertSourceItems(SInt32 sourceKind)
{
    CIndexModel* model = GetModel();
    ThrowIfNil_(model);
    if (sourceKind == kSearchSourceAllItems || sourceKind == kSearchSourceSelection) {
        model->ShowAllItems();
        const std::vector<CIndexItem*> items = sourceKind == kSearchSourceAllItems
            ? std::vector<CIndexItem*>(model->GetItemList().begin(), model->GetItemList().end())
            : model->SelectedItems();
        for (CIndexItem* item : items)
            InsertItem(item, kInsertAtEnd);
    } else if (sourceKind == kSearchSourceOpenIndexes) {
        // A file that several indexes hold is searched, and copied, once.
        QSet<QUrl> files;
        for (CIndexDoc* index : CIndexDoc::GetIndexDocuments()) {
            for (CIndexItem* item : index->GetModel().GetItemList()) {
                const QUrl file = item->GetURL();
                if (file.isEmpty() || !files.contains(file)) {
                    files.insert(file);
                    InsertItem(item, kInsertAtEnd);
                }
            }
        }
    }
}

void CSearchTask::SetResultAction(SInt32 action)
{
    if (mSourceKind == kSearchSourceOpenIndexes)
        return;
    if (action == kResultBatchByPreference)
        action = GetPrefBoolean(QStringLiteral("ApplyChangesToMediaFile")) ? kResultBatchFiles : kResultBatchCatalogue;
    mResultAction = action;
}

// --- The run ---------------------------------------------------------------------------------------

void CSearchTask::Finish(bool /*stopped*/)
{
    mBusy.Lower(GetModel());
}

void CSearchTask::RunTask()
{
    CIndexModel* model = GetModel();
    if (!model)
        return;
    if (!mCriteria.empty()) {
        SetProgressMin(0);
        SetProgressMax(CountItems());
        if (TaskOwnerView* view = GetOwnerView())
            SetCaption6(view->GetWindowTitle());
        ShowPauseButton(true);
        if (CountItems() > 1)
            ShowProgress(0);
        mBusy.Raise(*model);
        if (mResultAction == kResultShowFilter && mKind != kSearchKindBatch)
            ShowOwnerFilter();

        if (mKind == kSearchKindDuplicates) {
            SetStatusCaption(601, 42);
            FindDuplicates(mCriteria.front()->GetSelector());
        } else if (mKind == kSearchKindSearch) {
            SetStatusCaption(601, 7);
            SearchItems();
        } else {
            SetStatusCaption(601, 7);
            BatchItems();
        }

        std::erase(mFound, nullptr);
        if (mResultAction == kResultShowFilter && mKind != kSearchKindBatch) {
            // The run showed them as they were found; the filter now holds them all.
            ShowFoundInOwner();
            mFound.clear();
        }
        if (!mFound.empty())
            DoResultAction();
        else if (mFoundCount == 0 && !mNotes.unchecked && mResultAction != kResultShowFilter)
            ReportEmptyResult();
        if (mNotes.unchecked)
            ReportError(kMsgSomeItemsNotExamined);
        mBusy.Lower(model);
        if (mResultDocument)
            return;
    }
    FocusOwner();
}

void CSearchTask::ReportEmptyResult()
{
    // Finding nothing is an answer, not a failure: a note.
    if (mKind == kSearchKindDuplicates)
        ReportError(kMsgNoDuplicates, kNoteAlert);
    else if (mKind == kSearchKindSearch)
        ReportError(kMsgSearch, kNoteAlert);
}

void CSearchTask::SearchItems()
{
    std::vector<CriterionTest> tests;
    tests.reserve(mCriteria.size());
    for (const auto& criterion : mCriteria)
        tests.emplace_back(*criterion);
    // Items are held only where a test may yield: holding one costs more than testing its name.
    const bool holdItems
        = !std::all_of(tests.begin(), tests.end(), [](const CriterionTest& test) { return test.NeverYields(); });
    const SInt32 total = CountItems();
    SInt32 tested = 0;
    size_t shown = 0;
    QElapsedTimer sinceShown;
    sinceShown.start();
    while (CountItems() > 0) {
        CheckPause();
        CIndexItem* item = NextItemIfAny();
        if (!item)
            break;
        bool all = true;
        {
            // A criterion may read the file and yield: the item stays in the index meanwhile.
            std::optional<StItemInUse> inUse;
            if (holdItems)
                inUse.emplace(item);
            for (const CriterionTest& test : tests) {
                if (!test.Matches(*item, mNotes)) {
                    all = false;
                    break;
                }
            }
        }
        if (all)
            AddFound(item);
        // The clock is read every few items: a test of a name takes less than reading it.
        if (++tested % kItemsPerClockRead == 0 && YieldIfTimeUp()) {
            // The filter shows the finds anew only once they have grown by a quarter,
            // or after a while: each showing costs as much as all the finds so far, and
            // at every yield they would cost the search its time many times over.
            if (mFound.size() > shown
                && (mFound.size() >= shown + shown / 4 || sinceShown.hasExpired(kShowFindsEveryMs))) {
                ShowFoundInOwner();
                shown = mFound.size();
                sinceShown.restart();
            }
            SetProgress(total - CountItems());
            SetItemCaption(item->GetName());
            SInt32 state = 0;
            Broadcast(msg_ViewStateChanged, &state);
        }
    }
}

void CSearchTask::AddFound(CIndexItem* item)
{
    ThrowIfNil_(item);
    mFound.push_back(item);
    ++mFoundCount;
}

void CSearchTask::RemoveItem(CIndexItem* item)
{
    CVisualTask::RemoveItem(item);
    // Nulled, not erased: a result action may be walking the list.
    std::replace(mFound.begin(), mFound.end(), item, static_cast<CIndexItem*>(nullptr));
    std::replace(mCandidates.begin(), mCandidates.end(), item, static_cast<CIndexItem*>(nullptr));
}

QString CSearchTask::Dump() const
{
    QString text
        = QStringLiteral("Execute search task:\nKind:%1\nResult action:%2\nCriteria count: %3\nItem count: %4\n\n"
                         "Criteria list:\n")
              .arg(mKind)
              .arg(mResultAction)
              .arg(mCriteria.size())
              .arg(CountItems());
    qDebug().noquote() << text;
    for (const auto& criterion : mCriteria)
        text += criterion->Show();
    return text + QLatin1Char('\n');
}

void CSearchTask::Beep() const
{
    QApplication::beep();
}

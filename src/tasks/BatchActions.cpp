#include "BatchActions.h"

#include "CANPAInfo.h"
#include "CCriteria.h"
#include "CEXIFInfo.h"
#include "CIndexItem.h"
#include "CItemError.h"
#include "ErrorCodes.h"
#include "ErrorReport.h"
#include "ExceptionCode.h"
#include "FieldKeys.h"
#include "FileRef.h"
#include "FileRoutines.h"
#include "FileSystemRoutines.h"
#include "Picture.h"
#include "SearchEvaluation.h"
#include "TaskOwnerView.h"
#include "ThreadUtilities.h"

#include <QTextBoundaryFinder>

#include <algorithm>
#include <iterator>

namespace {

constexpr SInt32 kFieldNothing = 4019;
constexpr SInt32 kFieldCustomIcon = 4027;
constexpr SInt32 kNoUrgencyLabel = 9;
constexpr qsizetype kLongestSuffix = 5;
constexpr SInt32 kGiveBackAfterItems = 100000;

constexpr UInt32 kTurnBits = kItemFlagRotate90CW | kItemFlagRotate90CCW | kItemFlagRotate180;
constexpr UInt32 kFlipBits = kItemFlagFlipHorizontal | kItemFlagFlipVertical;
constexpr UInt32 kClearTurn = 0xF;

bool IsDateField(SInt32 key)
{
    return key == kFieldDateAdded || key == kFieldCreationDate || key == kFieldModificationDate
        || key == kFieldDateTimeOriginal || key == kFieldDateTimeDigitized || key == kFieldDateCreated;
}

CIndexItem::FileWrite WriteMode(const BatchRun& run)
{
    return run.applyToFile ? CIndexItem::FileWrite::AlsoFile : CIndexItem::FileWrite::CatalogueOnly;
}

// The date a field reference names, as an encoded date; false when the item has
// no such date (a missing EXIF or caption record).
bool ReferencedDate(CIndexItem& item, SInt32 key, QString& outValue)
{
    UInt32 seconds = 0;
    switch (key) {
    case kFieldModificationDate: seconds = item.GetModificationDate(); break;
    case kFieldDateAdded: seconds = item.GetDateAdded(); break;
    case kFieldCreationDate: seconds = item.GetCreationDate(); break;
    case kFieldDateTimeDigitized:
    case kFieldDateTimeOriginal: {
        const CEXIFInfo* exif = item.GetEXIFInfo();
        if (!exif)
            return false;
        seconds = key == kFieldDateTimeOriginal ? exif->GetDateTimeOriginal() : exif->GetDateTimeDigitized();
        break;
    }
    case kFieldDateCreated: {
        const CANPAInfo* caption = item.GetCaptionInfo();
        if (!caption)
            return false;
        seconds = caption->GetDateCreated();
        break;
    }
    default: return false;
    }
    outValue = CCriteria::EncodeDate(seconds);
    return true;
}

// The operand for this item: the value, or the field a "$$@@" value names.
QString ResolveOperand(CIndexItem& item, SInt32 category, const QString& value)
{
    const qsizetype at = value.indexOf(kFieldReferencePrefix);
    if (at < 0)
        return value;
    QString rest = value;
    rest.remove(at, kFieldReferencePrefix.size());
    const SInt32 key = SInt32(CriterionTest::TextToNumber(rest));
    if (IsDateField(category)) {
        QString date;
        return ReferencedDate(item, key, date) ? date : rest;
    }
    const QString text = SearchFieldText(item, key);
    if (text.isEmpty())
        ThrowOSErr_(err_NilPointer, "the referenced field is empty");
    return text;
}

UInt32 OperandDate(const QString& operand)
{
    UInt32 seconds = 0;
    if (!CCriteria::DecodeDate(operand, seconds))
        ThrowOSErr_(paramErr, "no date");
    return seconds;
}

OSType OperandCode(const QString& operand)
{
    OSType code = 0;
    if (!CCriteria::DecodeCode(operand, code))
        ThrowOSErr_(paramErr, "no four-character code");
    return code;
}

// Inside ApplyBatchAction's change of the item: the owner's model hears of it there.
void SetField(CIndexItem& item, SInt32 key, const QString& text, BatchRun& run)
{
    ThrowIfOSErr_(item.SetFieldValue(key, text, WriteMode(run)));
}

QString UpperFirst(const QString& text, qsizetype at)
{
    QString result = text;
    if (at < result.size())
        result.replace(at, 1, result.at(at).toUpper());
    return result;
}

QString StripDiacritics(const QString& text)
{
    const QString decomposed = text.normalized(QString::NormalizationForm_D);
    QString result;
    result.reserve(decomposed.size());
    for (QChar c : decomposed) {
        if (c.category() != QChar::Mark_NonSpacing)
            result.append(c);
    }
    return result.normalized(QString::NormalizationForm_C);
}

QString ChangeCase(const QString& text, SInt32 how)
{
    switch (how) {
    case kCaseUpper: return text.toUpper();
    case kCaseLower: return text.toLower();
    case kCaseStripDiacritics: return StripDiacritics(text);
    case kCaseFirst: return UpperFirst(text, 0);
    case kCaseWords: {
        QString result = text;
        QTextBoundaryFinder words(QTextBoundaryFinder::Word, text);
        for (qsizetype at = 0; at >= 0 && at < text.size(); at = words.toNextBoundary()) {
            words.setPosition(at);
            if (words.boundaryReasons() & QTextBoundaryFinder::StartOfItem)
                result = UpperFirst(result, at);
        }
        return result;
    }
    default: return text;
    }
}

void ApplyCaptionAction(CIndexItem& item, SInt32 key, SInt32 selector, const QString& operand, BatchRun& run)
{
    const QString current = item.CopyFieldString(key, kFieldTextEmpty);
    switch (key) {
    case kFieldDateCreated: {
        UInt32 seconds = 0;
        if (!CCriteria::DecodeDate(operand, seconds))
            break; // not a date: the text operation below
        CANPAInfo* caption = item.GetCaptionInfo();
        ThrowIfNil_(caption);
        caption->SetDateCreated(seconds);
        item.MarkDirty();
        if (run.applyToFile)
            ThrowIfOSErr_(item.WriteChangedCaptionToMediaFile());
        return;
    }
    case kFieldKeywords:
    case kFieldSupplementalCategories:
        if (selector == kBatchAdd) {
            const bool empty = current.isEmpty() || current == kFieldPlaceholder;
            SetField(item, key, empty ? operand : current + QLatin1Char(',') + operand, run);
        } else if (selector == kBatchRemove) {
            SetField(item, key, RemoveListEntries(current, operand), run);
        }
        return;
    case kFieldUrgency:
    case kFieldUrgencyLabel: {
        // An item without a caption has no urgency yet: setting one makes the
        // caption, as rating a photograph nobody captioned must.
        const CANPAInfo* caption = item.GetCaptionInfo();
        SInt32 urgency = SInt32(CriterionTest::TextToNumber(operand));
        if (selector == kBatchDecrease || selector == kBatchIncrease)
            urgency = StepUrgencyLabel(caption ? caption->GetUrgency() : kNoUrgencyLabel, selector);
        // The urgency field shows the stored number plus one.
        if (key == kFieldUrgency)
            SetField(item, key, urgency >= kNoUrgencyLabel ? QStringLiteral("No") : QString::number(urgency + 1), run);
        else
            SetField(item, key, QString::number(urgency), run);
        return;
    }
    default: break;
    }
    SetField(item, key, BatchTextOperation(current, selector, operand), run);
}

void MoveInOwner(CIndexItem& item, SInt32 selector, const QString& operand, BatchRun& run)
{
    if (!run.model)
        return;
    CIndexModel& model = *run.model;
    const SInt32 p = model.GetIndexOfItem(&item);
    if (p == 0)
        return;
    const SInt32 n = SInt32(CriterionTest::TextToNumber(operand));
    const SInt32 to = BatchPosition(n, p, model.CountItems(), selector);
    if (to == p)
        return;
    // The item leaves its place and comes back at the new one, a change of the index.
    CIndexItem* moved = model.TakeItemAt(p);
    model.InsertItem(moved, to, ItemInsert::Change);
}

void CopyOrMoveFile(CIndexItem& item, const CCriteria& criterion, BatchRun& run)
{
    QByteArray alias = criterion.GetData(kCriteriaAliasKey);
    FileRef folder;
    ThrowIfOSErr_(ResolveAliasHandle(&alias, &folder, true));
    const SInt16 mode = criterion.HasKey(kCriteriaMoveCopyOptionsKey)
        ? SInt16(criterion.GetNumber(kCriteriaMoveCopyOptionsKey))
        : SInt16(kConflictNone);
    // "Skip the file": a name the folder holds already leaves both files as they
    // are, which is what the user chose, not a failure of the item.
    const bool skipping = mode != kConflictReplace && mode != kConflictKeepBoth;
    if (criterion.GetSelector() == kSelectorCopyToFolder) {
        FileRef file;
        ThrowIfOSErr_(GetFSSpecFromURL(item.LocateFile(false), file));
        const OSStatus status = CopyFileSystemObject(file, folder, 0, mode);
        if (status != dupFNErr || !skipping)
            ThrowIfOSErr_(status);
        return;
    }
    try {
        item.MoveFileTo(folder.ToUrl(), mode); // within the batch's change of the item
    } catch (const ExceptionCode& error) {
        if (error.Code() == dupFNErr && skipping)
            return;
        throw;
    }
    if (run.takeOut && criterion.HasKey(kCriteriaMoveRemoveKey) && criterion.GetNumber(kCriteriaMoveRemoveKey) != 0)
        run.takeOut(item);
}

} // namespace

// --- The pure parts -------------------------------------------------------------------------

QString BatchTextOperation(const QString& text, SInt32 selector, const QString& operand)
{
    switch (selector) {
    case kBatchSet: return operand;
    case kBatchAppend: return text + operand;
    case kBatchPrepend: return operand + text;
    case kBatchRemove: {
        if (operand.isEmpty())
            return text;
        const qsizetype at = text.indexOf(operand, 0, Qt::CaseInsensitive);
        return at < 0 ? text : QString(text).remove(at, operand.size());
    }
    case kBatchChangeCase: return ChangeCase(text, SInt32(CriterionTest::TextToNumber(operand)));
    default: return text;
    }
}

qsizetype FileSuffixLength(const QString& name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0)
        return 0;
    const qsizetype length = name.size() - dot - 1;
    if (length < 1 || length > kLongestSuffix || name.indexOf(QLatin1Char(' '), dot) >= 0)
        return 0;
    return length + 1;
}

QString BatchNameOperation(const QString& name, SInt32 selector, const QString& operand)
{
    const qsizetype suffix = FileSuffixLength(name);
    const QString base = name.left(name.size() - suffix);
    const QString changed = BatchTextOperation(base, selector, operand);
    // A name cannot be only its suffix.
    if (changed.trimmed().isEmpty())
        return name;
    return changed + name.right(suffix);
}

QString NumberedOperand(const QString& value, SInt32 total, SInt32 k)
{
    const QString rest = value.mid(kNumberingPrefix.size()).trimmed();
    SInt64 start = 1;
    qsizetype width = QString::number(std::max<SInt32>(total, 1)).size();
    if (!rest.isEmpty()) {
        start = CriterionTest::TextToNumber(rest);
        width = rest.size();
    }
    return QString::number(start + k).rightJustified(width, QLatin1Char('0'));
}

UInt32 TurnFlags(UInt32 flags, UInt32 change)
{
    switch (change) {
    case kItemFlagFlipVertical:
    case kItemFlagFlipHorizontal: return flags ^ change;
    case kClearTurn: return flags & ~(kTurnBits | kFlipBits);
    case kItemFlagRotate90CCW:
    case kItemFlagRotate90CW: break;
    default: return flags;
    }
    // A quarter turn one way: none, this way, half, the other way, none.
    const UInt32 other = change == kItemFlagRotate90CW ? kItemFlagRotate90CCW : kItemFlagRotate90CW;
    UInt32 turn = 0;
    switch (flags & kTurnBits) {
    case 0: turn = change; break;
    case kItemFlagRotate180: turn = other; break;
    default: turn = (flags & change) ? UInt32(kItemFlagRotate180) : 0u; break;
    }
    UInt32 flips = flags & kFlipBits;
    // A lone flip seen a quarter turn later is the other flip.
    if (flips == kItemFlagFlipVertical || flips == kItemFlagFlipHorizontal)
        flips ^= kFlipBits;
    return (flags & ~(kTurnBits | kFlipBits)) | turn | flips;
}

SInt32 StepUrgencyLabel(SInt32 urgency, SInt32 selector)
{
    // More urgent (7208) and less urgent (7209) by label: 0 and 1 are the most
    // urgent, 9 is none; 8 is no label of its own.
    static constexpr SInt32 kMore[] = { 0, 1, 1, 1, 3, 3, 5, 6, 9, 7 };
    static constexpr SInt32 kLess[] = { 2, 2, 4, 4, 6, 6, 7, 9, 9, 9 };
    if (urgency < 0 || urgency > kNoUrgencyLabel)
        return kNoUrgencyLabel;
    if (selector == kBatchDecrease)
        return kMore[urgency];
    if (selector == kBatchIncrease)
        return kLess[urgency];
    return urgency;
}

SInt32 BatchPosition(SInt32 n, SInt32 p, SInt32 count, SInt32 selector)
{
    SInt64 to = n;
    if (selector == kBatchDecrease)
        to = SInt64(p) + n;
    else if (selector == kBatchIncrease)
        to = SInt64(p) - n;
    return SInt32(std::clamp<SInt64>(to, 1, std::max<SInt32>(count, 1)));
}

QString RemoveListEntries(const QString& list, const QString& entry)
{
    const QString wanted = entry.trimmed();
    QStringList kept;
    for (const QString& element : list.split(QLatin1Char(','))) {
        if (element.trimmed().compare(wanted, Qt::CaseInsensitive) != 0)
            kept << element;
    }
    // Removing the last entry leaves an empty list, not a null text (which the
    // item refuses as no value at all).
    const QString joined = kept.join(QLatin1Char(','));
    return joined.isNull() ? QString(QLatin1String("")) : joined;
}

// --- Actions --------------------------------------------------------------------------------

bool BatchCriterionNeedsValue(const CCriteria& criterion)
{
    if (!criterion.GetValue().trimmed().isEmpty())
        return false;
    const SInt32 key = criterion.GetCategory();
    const SInt32 selector = criterion.GetSelector();
    if (IsCaptionFieldKey(key))
        return !((key == kFieldUrgency || key == kFieldUrgencyLabel)
            && (selector == kBatchDecrease || selector == kBatchIncrease));
    switch (key) {
    case kFieldName:
    case kFieldRemoteURL:
    case kFieldDateAdded:
    case kFieldKind:
    case kFieldCreator:
    case kFieldCreationDate:
    case kFieldModificationDate:
    case kFieldPositionInView: return true;
    default: return false;
    }
}

namespace {

void ApplyItemAction(CIndexItem& item, const CCriteria& criterion, BatchRun& run)
{
    const SInt32 key = criterion.GetCategory();
    const SInt32 selector = criterion.GetSelector();
    const QString operand = ResolveOperand(item, key, criterion.GetValue());

    if (IsCaptionFieldKey(key)) {
        ApplyCaptionAction(item, key, selector, operand, run);
        return;
    }
    switch (key) {
    case kFieldName: {
        if (operand.isEmpty())
            return;
        const QString name = BatchNameOperation(item.GetName(), selector, operand);
        Str255 check;
        if (!QStringToPString(name, check))
            ThrowOSErr_(paramErr, "the name is too long");
        SetField(item, key, name, run);
        return;
    }
    case kFieldDateAdded: item.SetDateAdded(OperandDate(operand)); return;
    case kFieldKind: item.SetFileTypeCode(OperandCode(operand), run.applyToFile); return;
    case kFieldCreator: item.SetCreatorCode(OperandCode(operand), run.applyToFile); return;
    case kFieldCreationDate: item.SetCreationDate(OperandDate(operand), run.applyToFile); return;
    case kFieldModificationDate: item.SetModificationDate(OperandDate(operand), run.applyToFile); return;
    case kFieldHasAlias:
        if (selector == kBatchRemove) {
            // What only the file could give is read first.
            item.LoadAllParts();
            item.SetAlias(std::nullopt);
        }
        return;
    case kFieldRemoteURL:
        SetField(item, key, BatchTextOperation(item.GetRemoteURL().toString(), selector, operand), run);
        return;
    case kFieldHasThumbnail:
        if (selector == kBatchAdd
            || (selector == kBatchRefresh && GetThumbnailServices()
                && GetThumbnailServices()->ShouldRecreateThumbnail(item)))
            item.CreateThumbnail(run.applyToFile);
        else if (selector == kBatchWritePreview)
            ThrowIfOSErr_(item.AddPreviewToMediaFile());
        else if (selector == kBatchRemove)
            item.SetThumbnail(nullptr);
        return;
    case kFieldHasCaption:
        if (selector == kBatchRemove)
            item.RemoveCaption(run.applyToFile);
        return;
    case kFieldError:
        if (selector == kBatchRemove)
            item.SetError(nullptr);
        return;
    case kFieldNothing: return;
    case kFieldFileState:
        if (selector == kSelectorOpenInApplication) {
            const QString application = criterion.GetApplicationID();
            if (application.isEmpty())
                ThrowOSErr_(kMsgOpenWithFailed, "no application");
            item.OpenWithApplication(application);
        } else if (selector == kSelectorCopyToFolder || selector == kSelectorMoveToFolder) {
            CopyOrMoveFile(item, criterion, run);
        }
        return;
    case kFieldTurnState: {
        const UInt32 flags = item.GetFlags();
        const UInt32 turned = TurnFlags(flags, UInt32(selector));
        if (turned != flags)
            item.SetFlags(turned);
        item.DropCachedMedia();
        if (TaskOwnerView* view = FindTaskOwnerView(run.model))
            view->RefreshItem(run.model->GetIndexOfItem(&item));
        return;
    }
    case kFieldPositionInView: MoveInOwner(item, selector, operand, run); return;
    case kFieldCustomIcon:
        if (selector == kBatchAdd)
            ThrowIfOSErr_(item.UseThumbnailAsFileIcon());
        else if (selector == kBatchRemove)
            item.ClearCustomIcon();
        return;
    default: ThrowOSErr_(paramErr, "a field the batch cannot change");
    }
}

} // namespace

void ApplyBatchAction(CIndexItem& item, const CCriteria& criterion, BatchRun& run)
{
    if (!run.model) {
        ApplyItemAction(item, criterion, run);
        return;
    }
    // One change of the owner's model: its value index and its views follow.
    ThrowIfOSErr_(run.model->ChangeItem(&item, criterion.GetCategory(), [&] {
        ApplyItemAction(item, criterion, run);
        return noErr;
    }));
}

BatchOutcome BatchItems(const std::vector<CIndexItem*>& items, const std::vector<const CCriteria*>& criteria,
    BatchRun& run)
{
    size_t at = 0;
    return BatchItems(SInt32(items.size()),
        [&]() -> CIndexItem* {
            // A null entry is skipped, not the end.
            while (at < items.size() && !items[at])
                ++at;
            return at < items.size() ? items[at++] : nullptr;
        },
        criteria, run);
}

BatchOutcome BatchItems(SInt32 total, const std::function<CIndexItem*()>& next,
    const std::vector<const CCriteria*>& criteria, BatchRun& run)
{
    for (const CCriteria* criterion : criteria) {
        if (!criterion || BatchCriterionNeedsValue(*criterion))
            ThrowOSErr_(paramErr, "a batch step has no value");
    }
    BatchOutcome outcome;
    outcome.modified = run.model && run.model->IsModified();
    for (SInt32 k = 0; !outcome.outOfMemory; ++k) {
        CIndexItem* item = next();
        if (!item)
            break;
        StItemInUse inUse(item);
        for (const CCriteria* criterion : criteria) {
            const OSStatus status = CatchCode([&] {
                if (!criterion->GetValue().startsWith(kNumberingPrefix)) {
                    ApplyBatchAction(*item, *criterion, run);
                    return;
                }
                CCriteria numbered(*criterion);
                numbered.SetValue(NumberedOperand(criterion->GetValue(), total, k));
                ApplyBatchAction(*item, numbered, run);
            });
            if (status == memFullErr) {
                outcome.outOfMemory = true;
                break;
            }
            if (status != noErr) {
                ++outcome.errors;
                if (run.itemError)
                    run.itemError(*item, status);
                else
                    item->SetError(std::make_unique<CItemError>(status, QString(), QString()));
            }
        }
        ++outcome.done;
        if (item->IsDirty())
            outcome.modified = true;
        // Each item of a batch over a million would keep its caption parsed.
        item->StoreCaptionBlock();
        if (run.afterItem)
            run.afterItem(*item, outcome.done);
    }
    // What a batch over a large index made and let go of per item leaves room
    // between the items.
    if (outcome.done >= kGiveBackAfterItems)
        GiveFreedMemoryBack();
    if (TaskOwnerView* view = FindTaskOwnerView(run.model)) {
        SInt32 all = kAnyTextFieldCategory;
        view->BroadcastMessage(msg_ItemsChanged, &all);
    }
    if (outcome.errors != 0) {
        if (run.report)
            run.report(kMsgBatchProcess);
        else
            ReportError(kMsgBatchProcess, kCautionAlert);
    }
    return outcome;
}

#include "SearchEvaluation.h"

#include "CANPAInfo.h"
#include "CCriteria.h"
#include "CEXIFInfo.h"
#include "CIndexItem.h"
#include "CIndexItemComparator.h"
#include "CItemError.h"
#include "ExceptionCode.h"
#include "FieldKeys.h"
#include "IIMText.h"
#include "MacDates.h"
#include "MediaImageInfo.h"

#include <QDateTime>

#include <algorithm>
#include <limits>

namespace {

constexpr SInt32 kAnyTextFields[] = { kFieldName, kFieldCaption, kFieldKeywords, kFieldSupplementalCategories };
constexpr SInt32 kFieldHasColorProfile = 5013;

QString CaptionString(ConstStr255Param text)
{
    return IIMText::TextFromCaptionBytes(QByteArrayView(reinterpret_cast<const char*>(text + 1), text[0]));
}

QString PlainString(const Str255& text)
{
    return PStringToQString(text);
}

// A record getter run so that a failure (the file unreadable, the record damaged)
// reads as a missing record and leaves the item's error as it was.
template <typename F>
auto ReadQuietly(CIndexItem& item, F&& getter) -> decltype(getter())
{
    StItemErrorSaver<CIndexItem> keepError(&item);
    decltype(getter()) result {};
    CatchCode([&] { result = getter(); });
    return result;
}

// A search looks at a caption and keeps nothing of it: 100,000 parsed captions
// would more than double what the index holds.
const CANPAInfo* CaptionOf(CIndexItem& item)
{
    return ReadQuietly(item, [&] { return item.PeekCaptionInfo(); });
}

CEXIFInfo* EXIFOf(CIndexItem& item)
{
    return ReadQuietly(item, [&] { return item.GetEXIFInfo(); });
}

MediaImageInfo* ImageInfoOf(CIndexItem& item)
{
    return ReadQuietly(item, [&] { return item.GetImageInfo(); });
}

QString CaptionFieldText(const CANPAInfo& caption, SInt32 key)
{
    switch (key) {
    case kFieldCaption: {
        const QByteArray* bytes = caption.GetCaption();
        return bytes ? IIMText::TextFromCaptionBytes(*bytes) : QString();
    }
    case kFieldCaptionWriter: return CaptionString(caption.GetWriterEditor());
    case kFieldHeadline: return CaptionString(caption.GetHeadline());
    case kFieldSpecialInstructions: return CaptionString(caption.GetSpecialInstructions());
    case kFieldCopyrightNotice: return CaptionString(caption.GetCopyrightNotice());
    case kFieldByline: return CaptionString(caption.GetByline());
    case kFieldBylineTitle: return CaptionString(caption.GetBylineTitle());
    case kFieldCredit: return CaptionString(caption.GetCredit());
    case kFieldSource: return CaptionString(caption.GetSource());
    case kFieldCity: return CaptionString(caption.GetCity());
    case kFieldProvinceState: return CaptionString(caption.GetProvinceState());
    case kFieldCountryName: return CaptionString(caption.GetCountryName());
    case kFieldObjectName: return CaptionString(caption.GetObjectName());
    case kFieldTransmissionReference: return CaptionString(caption.GetOriginalTransmissionReference());
    case kFieldCategory: return CaptionString(caption.GetCategory());
    default: return QString();
    }
}

bool IsCaptionTextKey(SInt32 key)
{
    return (key >= kFieldCaption && key <= kFieldCountryName) || key == kFieldObjectName
        || key == kFieldTransmissionReference || key == kFieldCategory;
}

QString EXIFFieldText(const CEXIFInfo& exif, SInt32 key)
{
    Str255 text;
    switch (key) {
    case kFieldEXIFVersion: exif.GetEXIFVersion(text); break;
    case kFieldFlashpixVersion: exif.GetFlashpixVersion(text); break;
    case kFieldMake: exif.GetMake(text); break;
    case kFieldModel: exif.GetModel(text); break;
    case kFieldSoftware: exif.GetSoftware(text); break;
    case kFieldFormat: exif.GetFormat(text); break;
    case kFieldRelatedSoundFile: exif.GetRelatedSoundFile(text); break;
    case kFieldUserComment: exif.GetUserComment(text); break;
    default: break;
    }
    return PlainString(text);
}

bool IsEXIFTextKey(SInt32 key)
{
    return key == kFieldEXIFVersion || key == kFieldFlashpixVersion || (key >= kFieldMake && key <= kFieldUserComment);
}

// The local day that holds a date: its first second and the first of the next day.
void DayRange(QDate day, UInt32& outStart, UInt32& outEnd)
{
    outStart = DateTimeToMacSeconds(day.startOfDay());
    outEnd = DateTimeToMacSeconds(day.addDays(1).startOfDay());
}

bool InDay(UInt32 date, QDate day)
{
    UInt32 start = 0;
    UInt32 end = 0;
    DayRange(day, start, end);
    return date >= start && date < end;
}

} // namespace

// --- Field values --------------------------------------------------------------------------

QString SearchFieldText(CIndexItem& item, SInt32 key)
{
    switch (key) {
    case kFieldName: return item.GetName();
    case kFieldKind: return CCriteria::EncodeCode(item.GetFileTypeCode());
    case kFieldCreator: return CCriteria::EncodeCode(item.GetCreatorCode());
    case kFieldRemoteURL: return item.GetRemoteURL().toString();
    default: break;
    }
    if (IsCaptionTextKey(key)) {
        const CANPAInfo* caption = CaptionOf(item);
        return caption ? CaptionFieldText(*caption, key) : QString();
    }
    if (IsEXIFTextKey(key)) {
        const CEXIFInfo* exif = EXIFOf(item);
        return exif ? EXIFFieldText(*exif, key) : QString();
    }
    StItemErrorSaver<CIndexItem> keepError(&item);
    return item.CopyFieldString(key, kFieldTextEmpty);
}

bool SearchFieldNumber(CIndexItem& item, SInt32 key, SInt64& outNumber)
{
    if (key == kFieldPositionInView) {
        outNumber = item.GetPositionInView();
        return true;
    }
    // The sort takes the size as signed; a search compares the bytes there are.
    if (key == kFieldTotalSize) {
        outNumber = item.GetTotalSize();
        return true;
    }
    ItemSortValue value;
    {
        StItemErrorSaver<CIndexItem> keepError(&item);
        value = MakeItemSortValue(item, key);
    }
    if (!value.present || value.kind != ItemSortValue::Kind::Integer)
        return false;
    switch (key) {
    // Sorted most urgent last: the number itself is the negation.
    case kFieldUrgency:
    case kFieldUrgencyLabel: outNumber = -value.integer; break;
    // A fixed-point number: its integer part, rounded.
    case kFieldResolution: outNumber = (value.integer + 0x8000) >> 16; break;
    default: outNumber = value.integer; break;
    }
    return true;
}

// --- StItemInUse ------------------------------------------------------------------------------

StItemInUse::StItemInUse(CIndexItem* item)
    : mItem(item)
{
    if (!mItem)
        return;
    mWatch = mItem->GetLivenessToken().Watch();
    mItem->SetBusy(true);
}

StItemInUse::~StItemInUse()
{
    if (mItem && !mWatch.expired())
        mItem->SetBusy(false);
}

// --- The tests ---------------------------------------------------------------------------------

CriterionTest::CriterionTest(const CCriteria& criterion)
    : mCategory(criterion.GetCategory())
    , mSelector(criterion.GetSelector())
    , mValue(criterion.GetValue())
    , mToday(QDate::currentDate())
{
    const qsizetype at = mValue.indexOf(kFieldReferencePrefix);
    if (at >= 0) {
        QString rest = mValue;
        rest.remove(at, kFieldReferencePrefix.size());
        mReferencedKey = SInt32(TextToNumber(rest.trimmed()));
    }
}

SInt64 CriterionTest::TextToNumber(QStringView text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text.at(i).isSpace())
        ++i;
    bool negative = false;
    if (i < n && (text.at(i) == QLatin1Char('-') || text.at(i) == QLatin1Char('+')))
        negative = text.at(i++) == QLatin1Char('-');
    SInt64 number = 0;
    for (; i < n && text.at(i).isDigit(); ++i) {
        const int digit = text.at(i).digitValue();
        if (number > (std::numeric_limits<SInt64>::max() - digit) / 10) {
            number = std::numeric_limits<SInt64>::max(); // past the largest number is the largest, never a wrap
            break;
        }
        number = number * 10 + digit;
    }
    return negative ? -number : number;
}

bool CriterionTest::TextTest(QStringView itemText, SInt32 selector, const QString& operand)
{
    if (operand.isEmpty())
        return false;
    constexpr Qt::CaseSensitivity kFolded = Qt::CaseInsensitive;
    switch (selector) {
    case kSelectorIs: return itemText.compare(operand, kFolded) == 0;
    case kSelectorIsNot: return itemText.compare(operand, kFolded) != 0;
    case kSelectorContains: return itemText.contains(operand, kFolded);
    case kSelectorNotContains: return !itemText.contains(operand, kFolded);
    case kSelectorBeginsWith: return itemText.startsWith(operand, kFolded);
    case kSelectorNotBeginsWith: return !itemText.startsWith(operand, kFolded);
    case kSelectorEndsWith: return itemText.endsWith(operand, kFolded);
    case kSelectorNotEndsWith: return !itemText.endsWith(operand, kFolded);
    case kSelectorLessThan:
    case kSelectorGreaterThan: return NumberTest(TextToNumber(itemText), selector, operand);
    default: return false;
    }
}

bool CriterionTest::NumberTest(SInt64 itemNumber, SInt32 selector, const QString& operand)
{
    if (operand.isEmpty())
        return false;
    const SInt64 number = TextToNumber(operand);
    switch (selector) {
    case kSelectorIs: return itemNumber == number;
    case kSelectorIsNot: return itemNumber != number;
    case kSelectorLessThan: return itemNumber < number;
    case kSelectorGreaterThan: return itemNumber > number;
    default: return false;
    }
}

bool CriterionTest::DateTest(UInt32 itemDate, SInt32 selector, const QString& operand, QDate today)
{
    // An item without the date (0) has no day to compare: no date test holds for it.
    if (operand.isEmpty() || itemDate == 0)
        return false;
    UInt32 date = 0;
    if (!CCriteria::DecodeDate(operand, date))
        return false;
    switch (selector) {
    case kSelectorIs: return InDay(itemDate, MacSecondsToDateTime(date).date());
    case kSelectorIsNot: return !InDay(itemDate, MacSecondsToDateTime(date).date());
    case kSelectorBefore: return itemDate < date;
    case kSelectorAfter: return itemDate > date;
    case kSelectorToday: return InDay(itemDate, today);
    // The calendar's day before: a day of 23 or 25 hours is still one day.
    case kSelectorYesterday: return InDay(itemDate, today.addDays(-1));
    default: return false;
    }
}

bool CriterionTest::YesNoTest(bool value, SInt32 selector)
{
    switch (selector) {
    case kSelectorIs:
    case kSelectorContains:
    case kSelectorBeginsWith:
    case kSelectorEndsWith:
    case kSelectorIsSet: return value;
    case kSelectorIsNot:
    case kSelectorNotBeginsWith:
    case kSelectorNotEndsWith:
    case kSelectorNotContains:
    case kSelectorIsNotSet: return !value;
    default: return false;
    }
}

bool CriterionTest::ListTest(const std::vector<QByteArrayView>& entries, const QString& operand) const
{
    const bool positive = mSelector == kSelectorIs || mSelector == kSelectorContains;
    for (QByteArrayView entry : entries) {
        if (TextTest(TextOf(entry), kSelectorContains, operand))
            return positive;
    }
    return !positive;
}

QStringView CriterionTest::TextOf(QByteArrayView captionBytes) const
{
    IIMText::TextFromCaptionBytes(captionBytes, mText);
    return mText;
}

bool CriterionTest::NeverYields() const
{
    return mCategory == kFieldName && mReferencedKey == 0;
}

bool CriterionTest::Matches(CIndexItem& item, EvaluationNotes& notes) const
{
    mCaptionTextsOf = nullptr; // the texts read for the last item are not this one's
    if (mCategory != kAnyTextFieldCategory)
        return MatchesCategory(item, mCategory, notes);
    for (SInt32 key : kAnyTextFields) {
        if (MatchesCategory(item, key, notes))
            return true;
    }
    return false;
}

bool CriterionTest::MatchesCategory(CIndexItem& item, SInt32 category, EvaluationNotes& notes) const
{
    // A field that cannot be read does not match. (A plain try: this runs once per
    // item and criterion, where building a code for every success would show.)
    try {
        if (IsItemFieldKey(category))
            return MatchItemField(item, category);
        if (IsImageFieldKey(category))
            return MatchImageField(item, category, notes);
        if (IsCaptionFieldKey(category))
            return MatchCaptionField(item, category);
        if (IsEXIFFieldKey(category))
            return MatchEXIFField(item, category);
        return YesNoTest(false, mSelector);
    } catch (const boost::context::detail::forced_unwind&) {
        throw;
    } catch (...) {
        return false;
    }
}

QString CriterionTest::ResolveReference(CIndexItem& item, Kind kind) const
{
    if (kind == Kind::Number || kind == Kind::Date) {
        SInt64 number = 0;
        if (SearchFieldNumber(item, mReferencedKey, number))
            return QString::number(number);
        // A field without a number (a text field): its text, read as a number.
    }
    return SearchFieldText(item, mReferencedKey);
}

bool CriterionTest::MatchItemField(CIndexItem& item, SInt32 key) const
{
    auto text = [&](const QString& value) { return TextTest(value, mSelector, OperandFor(item, Kind::Text)); };
    auto number = [&](SInt64 value) { return NumberTest(value, mSelector, OperandFor(item, Kind::Number)); };
    auto date = [&](UInt32 value) { return DateTest(value, mSelector, OperandFor(item, Kind::Date), mToday); };
    auto yesNo = [&](bool value) { return YesNoTest(value, mSelector); };
    // A text that the item lacks (no remote URL, no alias to read the volume from).
    auto presentText = [&](const QString& value) { return !value.isEmpty() && text(value); };

    switch (key) {
    case kFieldName: {
        // The name as the index shows it (its extension hidden) answers as well as
        // the whole name: a test holds for either, a negative one only for both.
        // The shown name begins the whole one, so what it contains or begins with
        // the whole name does too: those tests need only the whole name.
        const QString whole = item.GetName();
        if (mSelector == kSelectorContains || mSelector == kSelectorNotContains || mSelector == kSelectorBeginsWith
            || mSelector == kSelectorNotBeginsWith)
            return text(whole);
        const QString shown = item.CopyFieldString(kFieldName, kFieldTextEmpty);
        if (shown.isEmpty() || shown == whole)
            return text(whole);
        const bool negative = mSelector == kSelectorIsNot || mSelector == kSelectorNotContains
            || mSelector == kSelectorNotBeginsWith || mSelector == kSelectorNotEndsWith;
        return negative ? text(whole) && text(shown) : text(whole) || text(shown);
    }
    case kFieldDateAdded: return date(item.GetDateAdded());
    case kFieldTotalSize: return number(SInt64(item.GetTotalSize()));
    case kFieldKind:
    case kFieldCreator:
    case kFieldLocation: return text(SearchFieldText(item, key));
    case kFieldHasAlias: return yesNo(ReadQuietly(item, [&] { return item.GetAlias(); }) != nullptr);
    case kFieldRemoteURL:
    case kFieldVolume:
    case kFieldFolder: return presentText(SearchFieldText(item, key));
    case kFieldHasThumbnail: return yesNo(item.HasThumbnail());
    case kFieldHasCaption: return yesNo(CaptionOf(item) != nullptr);
    case kFieldError: return yesNo(item.HasProblem());
    case kFieldCreationDate: return date(item.GetCreationDate());
    case kFieldModificationDate: return date(item.GetModificationDate());
    case kFieldUnsavedChanges: return yesNo(item.IsDirty());
    case kFieldFileState: return yesNo(!item.GetURL().isEmpty());
    case kFieldMediaValidates: {
        StItemErrorSaver<CIndexItem> keepError(&item);
        return yesNo(item.ValidateMedia());
    }
    case kFieldTurnState: {
        // Set and not set ask whether the item is turned or flipped at all; the
        // other selectors take the value as a mask of flag bits.
        if (mSelector == kSelectorIsSet || mSelector == kSelectorIsNotSet)
            return yesNo((item.GetFlags() & kItemFlagTransformMask) != 0);
        const UInt32 mask = UInt32(TextToNumber(OperandFor(item, Kind::Number)));
        return (item.GetFlags() & mask) != 0;
    }
    case kFieldHasEXIF: return yesNo(EXIFOf(item) != nullptr);
    case kFieldOpenInViewer: return number(item.IsOpenInViewer() ? 1 : 0);
    case kFieldPositionInView: return number(item.GetPositionInView());
    default: return false;
    }
}

bool CriterionTest::MatchImageField(CIndexItem& item, SInt32 key, EvaluationNotes& notes) const
{
    const MediaImageInfo* info = ImageInfoOf(item);
    if (!info) {
        notes.unchecked = true;
        return YesNoTest(false, mSelector);
    }
    switch (key) {
    case kFieldCodecName: return TextTest(SearchFieldText(item, key), mSelector, OperandFor(item, Kind::Text));
    case kFieldHasColorProfile: return YesNoTest(info->hasColorProfile != 0, mSelector);
    default: break;
    }
    SInt64 value = 0;
    return IsNumberFieldKey(key) && SearchFieldNumber(item, key, value)
        && NumberTest(value, mSelector, OperandFor(item, Kind::Number));
}

bool CriterionTest::MatchCaptionField(CIndexItem& item, SInt32 key) const
{
    if (key == kFieldCaption || key == kFieldKeywords || key == kFieldSupplementalCategories)
        return MatchCaptionText(item, key);
    const CANPAInfo* caption = CaptionOf(item);
    if (!caption)
        return YesNoTest(false, mSelector);
    if (IsCaptionTextKey(key))
        return TextTest(CaptionFieldText(*caption, key), mSelector, OperandFor(item, Kind::Text));
    switch (key) {
    case kFieldDateCreated: return DateTest(caption->GetDateCreated(), mSelector, OperandFor(item, Kind::Date), mToday);
    case kFieldUrgency:
    case kFieldUrgencyLabel: return NumberTest(caption->GetUrgency(), mSelector, OperandFor(item, Kind::Number));
    default: return false;
    }
}

bool CriterionTest::MatchCaptionText(CIndexItem& item, SInt32 key) const
{
    // The operand first: a field it refers to may have the caption parsed.
    const QString& operand = OperandFor(item, Kind::Text);
    const CaptionTexts& texts = CaptionTextsOf(item);
    if (!texts.present)
        return YesNoTest(false, mSelector);
    switch (key) {
    case kFieldCaption: return TextTest(TextOf(texts.caption), mSelector, operand);
    case kFieldKeywords: return ListTest(texts.keywords, operand);
    default: return ListTest(texts.categories, operand);
    }
}

const CriterionTest::CaptionTexts& CriterionTest::CaptionTextsOf(CIndexItem& item) const
{
    // Once for the fields of one item; a referenced field may change the item between them.
    if (mCaptionTextsOf == &item && mReferencedKey == 0)
        return mCaptionTexts;
    CaptionTexts& texts = mCaptionTexts;
    texts.present = false;
    texts.caption = {};
    texts.keywords.clear();
    texts.categories.clear();
    mCaptionTextsOf = &item;
    const QByteArrayView block = item.StoredCaptionBlock();
    if (!block.isEmpty()) {
        // As the caption record reads its block: the last caption dataset holds,
        // list entries are cut to 254 bytes and empty ones left out, and a block
        // cut short is no caption at all.
        const auto entry = [](QByteArrayView data) { return data.first(std::min(data.size(), IIMText::kListEntryLimit)); };
        try {
            IIMText::WalkDataSets(QByteArray::fromRawData(block.data(), block.size()),
                [&](UInt8 record, UInt8 dataSet, QByteArrayView data) {
                    if (record != IIMText::kApplicationRecord)
                        return;
                    if (dataSet == IIMText::kCaptionDataSet)
                        texts.caption = data;
                    else if (dataSet == IIMText::kKeywordDataSet && !data.isEmpty())
                        texts.keywords.push_back(entry(data));
                    else if (dataSet == IIMText::kSupplementalCategoryDataSet && !data.isEmpty())
                        texts.categories.push_back(entry(data));
                });
        } catch (const ExceptionCode&) {
            texts.keywords.clear();
            texts.categories.clear();
            return texts;
        }
        texts.present = true;
        return texts;
    }
    const CANPAInfo* caption = CaptionOf(item);
    if (!caption)
        return texts;
    texts.present = true;
    if (const QByteArray* bytes = caption->GetCaption())
        texts.caption = *bytes;
    const auto views = [](const TArray<LStr255>& list, std::vector<QByteArrayView>& out) {
        for (const LStr255& entry : list)
            out.emplace_back(reinterpret_cast<const char*>(entry.TextPtr()), entry.Length());
    };
    views(caption->GetKeywords(), texts.keywords);
    views(caption->GetSupplementalCategories(), texts.categories);
    return texts;
}

bool CriterionTest::MatchEXIFField(CIndexItem& item, SInt32 key) const
{
    const CEXIFInfo* exif = EXIFOf(item);
    if (!exif)
        return YesNoTest(false, mSelector);
    if (IsEXIFTextKey(key))
        return TextTest(EXIFFieldText(*exif, key), mSelector, OperandFor(item, Kind::Text));
    switch (key) {
    case kFieldDateTimeOriginal:
        return DateTest(exif->GetDateTimeOriginal(), mSelector, OperandFor(item, Kind::Date), mToday);
    case kFieldDateTimeDigitized:
        return DateTest(exif->GetDateTimeDigitized(), mSelector, OperandFor(item, Kind::Date), mToday);
    case kFieldFlash: return YesNoTest(exif->IsFlashFired(), mSelector);
    default: break;
    }
    // Values shown as text (exposure, aperture, distances) are compared as they read.
    if (IsEXIFValueTextKey(key))
        return TextTest(SearchFieldText(item, key), mSelector, OperandFor(item, Kind::Text));
    if (IsEXIFNumberKey(key)) {
        SInt64 value = 0;
        if (!SearchFieldNumber(item, key, value))
            value = TextToNumber(SearchFieldText(item, key));
        return NumberTest(value, mSelector, OperandFor(item, Kind::Number));
    }
    return false;
}

bool IsEXIFValueTextKey(SInt32 key)
{
    switch (key) {
    case kFieldExposureTime:
    case kFieldFNumber:
    case kFieldExposureBias:
    case kFieldFocalLength:
    case kFieldSubjectDistance:
    case kFieldCompressedBitsPerPixel:
    case kFieldExposureSummary:
    case kFieldBrightness:
    case kFieldExposureIndex:
    case kFieldMaxAperture:
        return true;
    default:
        return false;
    }
}

bool IsEXIFNumberKey(SInt32 key)
{
    switch (key) {
    case kFieldExposureProgram:
    case kFieldSensingMethod:
    case kFieldLightSource:
    case kFieldMeteringMode:
    case kFieldISOSpeed:
    case kFieldOrientation:
        return true;
    default:
        return false;
    }
}

bool IsNumberFieldKey(SInt32 key)
{
    switch (key) {
    case kFieldTotalSize:
    case kFieldPositionInView:
    case kFieldWidth:
    case kFieldHeight:
    case kFieldDepth:
    case kFieldResolution:
    case kFieldFrameCount:
    case kFieldRecordForm:
    case kFieldDataSize:
    case kFieldSpatialQuality:
    case kFieldTemporalQuality:
        return true;
    default:
        return IsEXIFNumberKey(key);
    }
}

bool CriterionTest::TestsField(SInt32 key)
{
    if (key == kAnyTextFieldCategory || (key >= kFieldEXIFVersion && key <= kFieldOrientation)
        || (key >= kFieldCaption && key <= kFieldUrgencyLabel) || IsNumberFieldKey(key))
        return true;
    switch (key) {
    case kFieldName:
    case kFieldDateAdded:
    case kFieldKind:
    case kFieldHasAlias:
    case kFieldRemoteURL:
    case kFieldHasThumbnail:
    case kFieldHasCaption:
    case kFieldError:
    case kFieldVolume:
    case kFieldFolder:
    case kFieldCreator:
    case kFieldCreationDate:
    case kFieldModificationDate:
    case kFieldLocation:
    case kFieldUnsavedChanges:
    case kFieldFileState:
    case kFieldMediaValidates:
    case kFieldTurnState:
    case kFieldHasEXIF:
    case kFieldOpenInViewer:
    case kFieldCodecName:
    case kFieldHasColorProfile:
        return true;
    default:
        return false;
    }
}

#include "CANPAInfo.h"

#include "BundleStrings.h"
#include "ExceptionCode.h"
#include "FieldKeys.h"
#include "IIMText.h"
#include "MacDates.h"
#include "TextFormats.h"

#include <QDate>
#include <QDateTime>
#include <QTime>
#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

// Record-2 dataset numbers.
enum : UInt8 {
    kDataSetRecordVersion = 0,
    kDataSetObjectName = 5,
    kDataSetUrgency = 10,
    kDataSetCategory = 15,
    kDataSetSupplementalCategory = IIMText::kSupplementalCategoryDataSet,
    kDataSetKeyword = IIMText::kKeywordDataSet,
    kDataSetSpecialInstructions = 40,
    kDataSetDateCreated = 55,
    kDataSetTimeCreated = 60,
    kDataSetByline = 80,
    kDataSetBylineTitle = 85,
    kDataSetCity = 90,
    kDataSetProvinceState = 95,
    kDataSetCountryName = 101,
    kDataSetOriginalTransmissionReference = 103,
    kDataSetHeadline = 105,
    kDataSetCredit = 110,
    kDataSetSource = 115,
    kDataSetCopyrightNotice = 116,
    kDataSetCaption = IIMText::kCaptionDataSet,
    kDataSetWriterEditor = 122,
};

// Between the By-lines of a picture with several creators, in the one field.
const QByteArray kBylineSeparator = QByteArrayLiteral("; ");

// What a record writes as 2:00 when no block gave it one: IIM version 4.
constexpr UInt16 kDefaultRecordVersion = 4;
constexpr SInt32 kNoUrgency = 9;
using IIMText::kListEntryLimit;
constexpr SInt32 kListReserve = 4;
constexpr int kMinDateLength = 6;

QByteArray BytesOf(ConstStr255Param text)
{
    return QByteArray(reinterpret_cast<const char*>(text + 1), text[0]);
}

void WriteDataSet(LStream& stream, UInt8 dataSet, const QByteArray& data)
{
    QByteArray bytes;
    IIMText::AppendDataSet(bytes, IIMText::kApplicationRecord, dataSet, data);
    stream.WriteBytes(bytes);
}

void WriteTextDataSet(LStream& stream, UInt8 dataSet, const CaptionText& field)
{
    if (field && !field.IsEmpty())
        WriteDataSet(stream, dataSet, field.Bytes());
}

} // namespace

Str255 CANPAInfo::Str255FromBytes(const QByteArray& bytes, int limit)
{
    Str255 text;
    text.AssignBytes(bytes.constData(), int(std::min<qsizetype>(bytes.size(), limit)));
    return text;
}

// ---------------------------------------------------------------------------
// Construction and the block

CANPAInfo::CANPAInfo()
{
    InitFields();
}

CANPAInfo::CANPAInfo(QByteArray block)
{
    InitFields();
    SetFromHandle(std::move(block));
}

CANPAInfo::CANPAInfo(const CANPAInfo& other)
{
    InitFields();
    SetFromHandle(other.GetDataHandle());
    ThrowIfNot_(IsModified(), "caption copy held no dataset");
    SetModified(false);
}

CANPAInfo::~CANPAInfo() = default;

void CANPAInfo::InitFields()
{
    mBlock = LDataStream();
    mModified = false;
    mRecordVersion = kDefaultRecordVersion;
    mUrgency = kNoUrgency;
    mKeywords.RemoveAllItems();
    mSupplementalCategories.RemoveAllItems();
    mOtherDataSets.clear();
    mBylines.clear();
    mCaption.reset();
    for (auto* field : {&mWriterEditor, &mHeadline, &mSpecialInstructions, &mCategory, &mByline, &mBylineTitle,
             &mCredit, &mSource, &mCopyrightNotice, &mObjectName, &mCity, &mProvinceState, &mCountryName,
             &mOriginalTransmissionReference})
        field->reset();
    mDateCreated = 0;
}

SInt32 CANPAInfo::SetFromHandle(QByteArray block)
{
    SetModified(false);
    mBlock = LDataStream(std::move(block));
    return ReadDataSets();
}

const QByteArray& CANPAInfo::GetDataHandle(EUrgencyForm urgencyForm) const
{
    WriteDataSets(urgencyForm);
    return mBlock.Data();
}

SInt32 CANPAInfo::ReadDataSets()
{
    const StCaptionCollation collation; // for every entry of the lists read
    bool bylineRead = false;
    const SInt32 result = IIMText::WalkDataSets(mBlock.Data(), [this, &bylineRead](UInt8 record, UInt8 dataSet, QByteArrayView data) {
        if (record != IIMText::kApplicationRecord)
            return;
        SetModified(1);
        if (dataSet == kDataSetByline) {
            // Each creator may have a By-line of their own: the field holds them all, in order.
            if (!bylineRead)
                mBylines.clear();
            bylineRead = true;
            mBylines.push_back(data.toByteArray());
            SetByline(Str255FromBytes(JoinedBylines(mBylines)));
            return;
        }
        ReadDataSet(dataSet, data.toByteArray());
    });
    if (mBylines.size() == 1)
        mBylines.clear(); // the usual single one needs no copy
    JoinTimeCreated();
    return result;
}

QByteArray CANPAInfo::JoinedBylines(const std::vector<QByteArray>& bylines)
{
    QByteArray joined;
    for (const QByteArray& byline : bylines)
        joined = IIMText::CutCaptionBytes(joined.isEmpty() ? byline : joined + kBylineSeparator + byline, 255);
    return joined;
}

const CANPAData* CANPAInfo::TimeCreatedDataSet() const
{
    for (const auto& other : mOtherDataSets) {
        if (other->GetDataSet() == kDataSetTimeCreated)
            return other.get();
    }
    return nullptr;
}

std::optional<QTime> CANPAInfo::ParseTimeCreated(const QByteArray& data)
{
    // HHMMSS±HHMM; the clock time as written, its zone left aside as the date's is.
    QByteArray digits;
    for (qsizetype i = 0; i < data.size() && digits.size() < 6; ++i) {
        const char c = data[i];
        if (c >= '0' && c <= '9')
            digits.append(c);
        else if (c == '+' || c == '-')
            break;
    }
    if (digits.size() < 4)
        return std::nullopt;
    const QTime time(digits.left(2).toInt(), digits.mid(2, 2).toInt(), digits.size() >= 6 ? digits.mid(4, 2).toInt() : 0);
    return time.isValid() ? std::optional<QTime>(time) : std::nullopt;
}

void CANPAInfo::JoinTimeCreated()
{
    if (mDateCreated == 0)
        return;
    const CANPAData* timeCreated = TimeCreatedDataSet();
    const std::optional<QTime> time = timeCreated ? ParseTimeCreated(timeCreated->GetData()) : std::nullopt;
    const QDateTime dated = MacSecondsToDateTime(mDateCreated);
    if (time && dated.time() == QTime(0, 0))
        mDateCreated = DateTimeToMacSeconds(QDateTime(dated.date(), *time));
}

void CANPAInfo::CheckBlock(const QByteArray& block)
{
    IIMText::WalkDataSets(block, [](UInt8, UInt8, QByteArrayView) {});
}

void CANPAInfo::ReadDataSet(UInt8 dataSet, const QByteArray& data)
{
    switch (dataSet) {
    case kDataSetRecordVersion:
        if (data.size() >= 2)
            mRecordVersion = UInt16((UInt8(data[0]) << 8) | UInt8(data[1]));
        break;
    case kDataSetUrgency:
        if (!data.isEmpty()) {
            // Stored blocks hold a binary byte, files from elsewhere the ASCII
            // digit the standard asks for; both are taken. The standard keeps
            // the digit 0 in reserve: a file's 0 is no urgency.
            const UInt8 value = UInt8(data[0]);
            if (value == '0')
                SetUrgency(kNoUrgency);
            else if (value > '0' && value <= '9')
                SetUrgency(value - '0');
            else
                SetUrgency(value);
        }
        break;
    case kDataSetObjectName: SetObjectName(Str255FromBytes(data)); break;
    case kDataSetCategory: SetCategory(Str255FromBytes(data)); break;
    case kDataSetSpecialInstructions: SetSpecialInstructions(Str255FromBytes(data)); break;
    case kDataSetByline: SetByline(Str255FromBytes(data)); break;
    case kDataSetBylineTitle: SetBylineTitle(Str255FromBytes(data)); break;
    case kDataSetCity: SetCity(Str255FromBytes(data)); break;
    case kDataSetProvinceState: SetProvinceState(Str255FromBytes(data)); break;
    case kDataSetCountryName: SetCountryName(Str255FromBytes(data)); break;
    case kDataSetOriginalTransmissionReference: SetOriginalTransmissionReference(Str255FromBytes(data)); break;
    case kDataSetHeadline: SetHeadline(Str255FromBytes(data)); break;
    case kDataSetCredit: SetCredit(Str255FromBytes(data)); break;
    case kDataSetSource: SetSource(Str255FromBytes(data)); break;
    case kDataSetCopyrightNotice: SetCopyrightNotice(Str255FromBytes(data)); break;
    case kDataSetWriterEditor: SetWriterEditor(Str255FromBytes(data)); break;
    case kDataSetSupplementalCategory: AddSupplementalCategory(Str255FromBytes(data, kListEntryLimit)); break;
    case kDataSetKeyword: AddKeyword(Str255FromBytes(data, kListEntryLimit)); break;
    case kDataSetDateCreated: {
        if (data.size() < kMinDateLength)
            break;
        // CCYYMMDD, or any text whose digits are those: made CCYY-MM-DD.
        QByteArray digits;
        for (char c : data.left(255)) {
            if (c >= '0' && c <= '9')
                digits.append(c);
        }
        if (digits.size() >= 6)
            digits.insert(6, '-');
        if (digits.size() >= 4)
            digits.insert(4, '-');
        // The time of day, when the record holds one, joins the date after the walk.
        const UInt32 date = ParseDateText(Str255FromBytes(digits));
        if (date != mDateCreated) {
            mDateCreated = date;
            mModified = true;
        }
        break;
    }
    case kDataSetCaption: SetCaption(data); break;
    default: mOtherDataSets.push_back(std::make_unique<CANPAData>(dataSet, UInt32(data.size()), data)); break;
    }
}

void CANPAInfo::WriteDataSets(EUrgencyForm urgencyForm) const
{
    LDataStream stream;
    LDataStream version;
    version.WriteUInt16(mRecordVersion);
    WriteDataSet(stream, kDataSetRecordVersion, version.Data());
    if (mCaption && !mCaption->isEmpty())
        WriteDataSet(stream, kDataSetCaption, *mCaption);
    WriteTextDataSet(stream, kDataSetWriterEditor, mWriterEditor);
    WriteTextDataSet(stream, kDataSetHeadline, mHeadline);
    WriteTextDataSet(stream, kDataSetSpecialInstructions, mSpecialInstructions);
    if (mBylines.size() > 1 && mByline && JoinedBylines(mBylines) == mByline.Bytes()) {
        for (const QByteArray& byline : mBylines)
            WriteDataSet(stream, kDataSetByline, byline);
    } else {
        WriteTextDataSet(stream, kDataSetByline, mByline);
    }
    WriteTextDataSet(stream, kDataSetBylineTitle, mBylineTitle);
    WriteTextDataSet(stream, kDataSetCredit, mCredit);
    WriteTextDataSet(stream, kDataSetSource, mSource);
    WriteTextDataSet(stream, kDataSetObjectName, mObjectName);
    if (mDateCreated != 0) {
        const QDate date = MacSecondsToDateTime(mDateCreated).date();
        const QString text = QString::number(date.year()) + QStringLiteral("%1%2")
                                                                .arg(date.month(), 2, 10, QLatin1Char('0'))
                                                                .arg(date.day(), 2, 10, QLatin1Char('0'));
        WriteDataSet(stream, kDataSetDateCreated, text.toLatin1());
    }
    WriteTextDataSet(stream, kDataSetCity, mCity);
    WriteTextDataSet(stream, kDataSetProvinceState, mProvinceState);
    WriteTextDataSet(stream, kDataSetCountryName, mCountryName);
    WriteTextDataSet(stream, kDataSetOriginalTransmissionReference, mOriginalTransmissionReference);
    WriteTextDataSet(stream, kDataSetCategory, mCategory);
    for (const LStr255& category : mSupplementalCategories)
        WriteDataSet(stream, kDataSetSupplementalCategory, category.Bytes());
    if (mUrgency != kNoUrgency) {
        const char value = urgencyForm == EUrgencyForm::AsciiDigit ? char('0' + mUrgency) : char(mUrgency);
        WriteDataSet(stream, kDataSetUrgency, QByteArray(1, value));
    }
    for (const LStr255& keyword : mKeywords)
        WriteDataSet(stream, kDataSetKeyword, keyword.Bytes());
    for (const auto& other : mOtherDataSets)
        WriteDataSet(stream, other->GetDataSet(), other->GetData());
    if (mCopyrightNotice)
        WriteDataSet(stream, kDataSetCopyrightNotice, mCopyrightNotice.Bytes());
    mBlock = LDataStream(stream.TakeData());
}

// ---------------------------------------------------------------------------
// Fields

void CANPAInfo::SetText(CaptionText& field, ConstStr255Param text)
{
    if (field.Assign(text))
        mModified = true;
}

void CANPAInfo::SetCaption(const QByteArray& caption)
{
    if (caption.isEmpty()) {
        if (mCaption) {
            mCaption.reset();
            mModified = true;
        }
        return;
    }
    if (!mCaption || *mCaption != caption) {
        mCaption = caption;
        mModified = true;
    }
}

void CANPAInfo::SetCaptionText(ConstStr255Param text)
{
    SetCaption(BytesOf(text));
}

void CANPAInfo::AppendCaption(const QByteArray& bytes)
{
    if (mCaption)
        mCaption->append(bytes);
    else
        SetCaption(bytes);
    mModified = true;
}

void CANPAInfo::AppendCaptionText(ConstStr255Param text)
{
    AppendCaption(BytesOf(text));
}

void CANPAInfo::PrependCaption(const QByteArray& bytes)
{
    if (mCaption)
        mCaption->prepend(bytes);
    else
        SetCaption(bytes);
    mModified = true;
}

void CANPAInfo::PrependCaptionText(ConstStr255Param text)
{
    PrependCaption(BytesOf(text));
}

void CANPAInfo::SetUrgency(SInt32 urgency)
{
    if (urgency < 0 || urgency > kNoUrgency || urgency == mUrgency)
        return;
    mUrgency = urgency;
    mModified = true;
}

QString CANPAInfo::CopyUrgencyLabel(SInt32 urgency)
{
    const char* key = "602:29";
    switch (urgency) {
    case 0:
    case 1: key = "602:28"; break;
    case 2:
    case 3: key = "602:27"; break;
    case 4:
    case 5: key = "602:26"; break;
    case 6: key = "602:25"; break;
    case 7:
    case 8: key = "602:24"; break; // 8 is the least urgency the standard has
    default: break;
    }
    return BundleLocalizedString(QString::fromLatin1(key));
}

void CANPAInfo::SetDateCreated(UInt32 seconds)
{
    if (seconds == mDateCreated)
        return;
    mDateCreated = seconds;
    mModified = true;
    // The time of day goes to Time Created: a date alone (at midnight) has none.
    const QDateTime when = MacSecondsToDateTime(seconds);
    const bool timed = seconds != 0 && when.time() != QTime(0, 0);
    const auto held = std::find_if(mOtherDataSets.begin(), mOtherDataSets.end(),
        [](const auto& other) { return other->GetDataSet() == kDataSetTimeCreated; });
    if (held != mOtherDataSets.end() && timed && ParseTimeCreated((*held)->GetData()) == when.time())
        return; // the same clock time, as written with its own zone
    if (!timed) {
        if (held != mOtherDataSets.end())
            mOtherDataSets.erase(held);
        return;
    }
    const int offset = when.offsetFromUtc() / 60;
    const QByteArray text = when.time().toString(QStringLiteral("HHmmss")).toLatin1()
        + (offset < 0 ? '-' : '+')
        + QStringLiteral("%1%2").arg(std::abs(offset) / 60, 2, 10, QLatin1Char('0')).arg(std::abs(offset) % 60, 2, 10, QLatin1Char('0')).toLatin1();
    auto dataSet = std::make_unique<CANPAData>(kDataSetTimeCreated, UInt32(text.size()), text);
    if (held != mOtherDataSets.end())
        *held = std::move(dataSet);
    else
        mOtherDataSets.push_back(std::move(dataSet));
}

void CANPAInfo::SetDateCreatedText(ConstStr255Param text)
{
    SetDateCreated(ParseDateText(text));
}

// ---------------------------------------------------------------------------
// Lists

LStr255 CANPAInfo::EntryAt(const TArray<LStr255>& list, SInt32 index)
{
    LStr255 entry;
    list.FetchItemAt(index, entry);
    return entry;
}

bool CANPAInfo::Contains(const TArray<LStr255>& list, ConstStr255Param text)
{
    return list.FetchIndexOfKey(text) != index_Bad;
}

void CANPAInfo::AddEntry(TArray<LStr255>& list, ConstStr255Param text)
{
    if (text[0] == 0 || Contains(list, text))
        return;
    if (list.GetCount() == 0)
        list.Reserve(kListReserve); // lists hold a few entries: grown once, not at each
    list.AddItem(LStr255(text));
    mModified = true;
}

void CANPAInfo::RemoveEntry(TArray<LStr255>& list, ConstStr255Param text)
{
    const ArrayIndexT index = list.FetchIndexOfKey(text);
    if (index == index_Bad)
        return;
    list.RemoveItemsAt(1, index);
    mModified = true;
}

void CANPAInfo::RemoveAllEntries(TArray<LStr255>& list)
{
    if (list.GetCount() > 0) {
        list.RemoveAllItems();
        mModified = true;
    }
}

Str255 CANPAInfo::ToStr255OrThrow(const QString& text)
{
    Str255 result;
    ThrowIfNot_(QStringToPString(text, result), "text is no 255-byte Mac Roman string");
    return result;
}

void CANPAInfo::SetEntriesCF(TArray<LStr255>& list, const QString& text)
{
    try {
        RemoveAllEntries(list);
        for (const QString& untrimmed : text.split(QLatin1Char(','))) {
            // Blanks around an entry are no part of it: "a,  b " gives "b".
            const QString part = untrimmed.trimmed();
            Str255 entry;
            if (!QStringToPString(part, entry))
                return;
            AddEntry(list, entry);
        }
    } catch (...) {
        // A part that cannot be taken ends the list where it is.
    }
}

const CaptionText* CANPAInfo::PlainTextField(SInt32 fieldKey) const
{
    switch (fieldKey) {
    case kFieldCaptionWriter: return &mWriterEditor;
    case kFieldHeadline: return &mHeadline;
    case kFieldSpecialInstructions: return &mSpecialInstructions;
    case kFieldCopyrightNotice: return &mCopyrightNotice;
    case kFieldByline: return &mByline;
    case kFieldBylineTitle: return &mBylineTitle;
    case kFieldCredit: return &mCredit;
    case kFieldSource: return &mSource;
    case kFieldCity: return &mCity;
    case kFieldProvinceState: return &mProvinceState;
    case kFieldCountryName: return &mCountryName;
    case kFieldObjectName: return &mObjectName;
    case kFieldTransmissionReference: return &mOriginalTransmissionReference;
    case kFieldCategory: return &mCategory;
    default: return nullptr;
    }
}

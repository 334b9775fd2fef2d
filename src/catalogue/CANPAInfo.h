#pragma once

#include "CANPAData.h"
#include "CANPAStringComparator.h"
#include "LStream.h"
#include "LString.h"
#include "MacTypes.h"
#include "PString.h"
#include "TArray.h"

#include <QByteArray>
#include <QString>
#include <QTime>
#include <QUrl>
#include <memory>
#include <optional>
#include <vector>

class UserData;

// One text field of the caption: absent, or up to 255 bytes of Mac Roman. Kept as
// its bytes rather than as a 256-byte Pascal string, so that an index of 100,000
// captioned items stays small in memory.
class CaptionText {
public:
    explicit operator bool() const { return mPresent; }
    void reset()
    {
        mPresent = false;
        mBytes.clear();
    }
    bool IsEmpty() const { return mBytes.isEmpty(); }
    const QByteArray& Bytes() const { return mBytes; }
    Str255 Text() const
    {
        Str255 text;
        text.AssignBytes(mBytes);
        return text;
    }
    // Makes the field present with `text`; true when its bytes changed.
    bool Assign(ConstStr255Param text)
    {
        mPresent = true;
        const QByteArray bytes(reinterpret_cast<const char*>(text + 1), text[0]);
        if (bytes == mBytes)
            return false;
        mBytes = bytes;
        return true;
    }

private:
    QByteArray mBytes;
    bool mPresent = false;
};

// How the writer stores the urgency (2:10). index.db blocks hold it as a binary
// byte; IPTC written into media files holds the ASCII digit the standard asks for.
enum class EUrgencyForm { Binary, AsciiDigit };

// The IPTC caption of one item: the record-2 datasets of an IPTC-IIM block as
// typed fields, read from and written back into that block form. Texts are Mac
// Roman Pascal strings; the keyword and category lists are kept sorted by a
// CANPAStringComparator, without duplicates or empty entries.
class CANPAInfo {
public:
    CANPAInfo();
    // Takes the IIM block and parses it; the modified flag stays as parsing left it.
    explicit CANPAInfo(QByteArray block);
    // Rewrites the other's block and parses a copy: 'asrt' when it held nothing.
    CANPAInfo(const CANPAInfo& other);
    // The caption held in user data: the 'iptc' item and the ©-text items.
    // 'nilP' for null user data, 'asrt' when nothing was found.
    explicit CANPAInfo(const UserData* userData);
    // The same, null when the user data holds no caption (most photographs'):
    // a save asks it of every item, where a failure's cost would add up.
    static std::unique_ptr<CANPAInfo> FromUserData(const UserData& userData);
    // The IPTC data of an image file, read with Exiv2. 'asrt' when the URL is no
    // file, the file is no image Exiv2 can read (or its module is missing), or it
    // holds no record-2 dataset.
    explicit CANPAInfo(const QUrl& fileURL);
    // The same from the file's IPTC datasets as one IIM block, read already.
    static std::unique_ptr<CANPAInfo> FromImageFileBlock(const QByteArray& iim);
    CANPAInfo& operator=(const CANPAInfo&) = delete;
    virtual ~CANPAInfo();

    // Throws what parsing the block would throw, without keeping anything of it.
    static void CheckBlock(const QByteArray& block);
    // Replaces the block and parses it; returns what ReadDataSets returns.
    virtual SInt32 SetFromHandle(QByteArray block);
    // Rewrites the block from the fields and returns it; valid until the next write.
    virtual const QByteArray& GetDataHandle(EUrgencyForm urgencyForm = EUrgencyForm::Binary) const;
    virtual bool IsModified() const { return mModified; }
    virtual void SetModified(UInt8 modified) { mModified = modified != 0; }

    // From the block's marker: 0 at the end or at a zero pad pair, -1 at a byte
    // that is no dataset marker. A dataset header or data cut by the block's end
    // throws readErr (-19); datasets before it stay applied.
    SInt32 ReadDataSets();
    void WriteDataSets(EUrgencyForm urgencyForm = EUrgencyForm::Binary) const;

    UInt16 GetRecordVersion() const { return mRecordVersion; }

    LStr255 GetObjectName() const { return Text(mObjectName); }
    LStr255 GetCategory() const { return Text(mCategory); }
    LStr255 GetSpecialInstructions() const { return Text(mSpecialInstructions); }
    LStr255 GetByline() const { return Text(mByline); }
    LStr255 GetBylineTitle() const { return Text(mBylineTitle); }
    LStr255 GetCity() const { return Text(mCity); }
    LStr255 GetProvinceState() const { return Text(mProvinceState); }
    LStr255 GetCountryName() const { return Text(mCountryName); }
    LStr255 GetOriginalTransmissionReference() const { return Text(mOriginalTransmissionReference); }
    LStr255 GetHeadline() const { return Text(mHeadline); }
    LStr255 GetCredit() const { return Text(mCredit); }
    LStr255 GetSource() const { return Text(mSource); }
    LStr255 GetCopyrightNotice() const { return Text(mCopyrightNotice); }
    LStr255 GetWriterEditor() const { return Text(mWriterEditor); }
    // The one-line text field that caption field key `fieldKey` names (City,
    // Headline…); nullptr for the caption itself, lists, dates and numbers.
    const CaptionText* PlainTextField(SInt32 fieldKey) const;

    void SetObjectName(ConstStr255Param text) { SetText(mObjectName, text); }
    void SetCategory(ConstStr255Param text) { SetText(mCategory, text); }
    void SetSpecialInstructions(ConstStr255Param text) { SetText(mSpecialInstructions, text); }
    void SetByline(ConstStr255Param text) { SetText(mByline, text); }
    void SetBylineTitle(ConstStr255Param text) { SetText(mBylineTitle, text); }
    void SetCity(ConstStr255Param text) { SetText(mCity, text); }
    void SetProvinceState(ConstStr255Param text) { SetText(mProvinceState, text); }
    void SetCountryName(ConstStr255Param text) { SetText(mCountryName, text); }
    void SetOriginalTransmissionReference(ConstStr255Param text) { SetText(mOriginalTransmissionReference, text); }
    void SetHeadline(ConstStr255Param text) { SetText(mHeadline, text); }
    void SetCredit(ConstStr255Param text) { SetText(mCredit, text); }
    void SetSource(ConstStr255Param text) { SetText(mSource, text); }
    void SetCopyrightNotice(ConstStr255Param text) { SetText(mCopyrightNotice, text); }
    void SetWriterEditor(ConstStr255Param text) { SetText(mWriterEditor, text); }

    // The caption bytes (no terminator), or null when there is none.
    const QByteArray* GetCaption() const { return mCaption ? &*mCaption : nullptr; }
    // An empty caption removes the caption.
    void SetCaption(const QByteArray& caption);
    void SetCaptionText(ConstStr255Param text);
    void AppendCaption(const QByteArray& bytes);
    void AppendCaptionText(ConstStr255Param text);
    void PrependCaption(const QByteArray& bytes);
    void PrependCaptionText(ConstStr255Param text);

    // 0-9; 9 means none, 8 is the least urgent.
    SInt32 GetUrgency() const { return mUrgency; }
    void SetUrgency(SInt32 urgency);
    static QString CopyUrgencyLabel(SInt32 urgency);

    // Seconds since 1904, 0 when unset: the date (2:55) at the time of day of Time
    // Created (2:60) when the record holds one, else at midnight.
    UInt32 GetDateCreated() const { return mDateCreated; }
    // A value with a time of day writes it as Time Created (in the local zone), a
    // date alone removes Time Created; a held Time Created of the same clock time
    // stays as it was written.
    void SetDateCreated(UInt32 seconds);
    // A text that is no date clears the date.
    void SetDateCreatedText(ConstStr255Param text);

    const TArray<LStr255>& GetKeywords() const { return mKeywords; }
    LStr255 GetKeywordAt(SInt32 index) const { return EntryAt(mKeywords, index); }
    bool HasKeyword(ConstStr255Param text) const { return Contains(mKeywords, text); }
    void AddKeyword(ConstStr255Param text) { AddEntry(mKeywords, text); }
    void RemoveKeyword(ConstStr255Param text) { RemoveEntry(mKeywords, text); }
    void RemoveAllKeywords() { RemoveAllEntries(mKeywords); }
    // Mac Roman conversion: a text that does not fit 255 bytes throws 'asrt'.
    void AddKeywordCF(const QString& text) { AddKeyword(ToStr255OrThrow(text)); }
    void RemoveKeywordCF(const QString& text) { RemoveKeyword(ToStr255OrThrow(text)); }
    // Replaces the list with the comma-separated parts of `text`.
    void SetKeywordsCF(const QString& text) { SetEntriesCF(mKeywords, text); }

    const TArray<LStr255>& GetSupplementalCategories() const { return mSupplementalCategories; }
    LStr255 GetSupplementalCategoryAt(SInt32 index) const { return EntryAt(mSupplementalCategories, index); }
    bool HasSupplementalCategory(ConstStr255Param text) const { return Contains(mSupplementalCategories, text); }
    void AddSupplementalCategory(ConstStr255Param text) { AddEntry(mSupplementalCategories, text); }
    void RemoveSupplementalCategory(ConstStr255Param text) { RemoveEntry(mSupplementalCategories, text); }
    void RemoveAllSupplementalCategories() { RemoveAllEntries(mSupplementalCategories); }
    void AddSupplementalCategoryCF(const QString& text) { AddSupplementalCategory(ToStr255OrThrow(text)); }
    void RemoveSupplementalCategoryCF(const QString& text) { RemoveSupplementalCategory(ToStr255OrThrow(text)); }
    void SetSupplementalCategoriesCF(const QString& text) { SetEntriesCF(mSupplementalCategories, text); }

    // The datasets kept for writing back, in block order.
    const std::vector<std::unique_ptr<CANPAData>>& GetOtherDataSets() const { return mOtherDataSets; }

protected:
    void InitFields();

private:
    static LStr255 Text(const CaptionText& field) { return field ? LStr255(field.Text()) : LStr255(); }
    void SetText(CaptionText& field, ConstStr255Param text);
    static LStr255 EntryAt(const TArray<LStr255>& list, SInt32 index);
    static bool Contains(const TArray<LStr255>& list, ConstStr255Param text);
    void AddEntry(TArray<LStr255>& list, ConstStr255Param text);
    void RemoveEntry(TArray<LStr255>& list, ConstStr255Param text);
    void RemoveAllEntries(TArray<LStr255>& list);
    void SetEntriesCF(TArray<LStr255>& list, const QString& text);
    static Str255 ToStr255OrThrow(const QString& text);
    // The first `limit` bytes as a Pascal string.
    static Str255 Str255FromBytes(const QByteArray& bytes, int limit = 255);

    void ReadDataSet(UInt8 dataSet, const QByteArray& data);
    // The one field the By-lines of a picture with several creators make, in order.
    static QByteArray JoinedBylines(const std::vector<QByteArray>& bylines);
    // Time Created among the datasets the record keeps, and its clock time.
    const CANPAData* TimeCreatedDataSet() const;
    static std::optional<QTime> ParseTimeCreated(const QByteArray& data);
    // The date read at midnight takes the time of day of a Time Created read with it.
    void JoinTimeCreated();
    void ReadFromUserData(const UserData& userData);
    void ReadFromImageFile(const QString& path);
    void ReadFromImageFileBlock(const QByteArray& iim);
    void FinishLoad();

    mutable LDataStream mBlock;
    bool mModified = false;
    UInt16 mRecordVersion;
    SInt32 mUrgency;
    TArray<LStr255> mKeywords {new CANPAStringComparator, true, true};
    TArray<LStr255> mSupplementalCategories {new CANPAStringComparator, true, true};
    std::vector<std::unique_ptr<CANPAData>> mOtherDataSets;
    std::optional<QByteArray> mCaption;
    CaptionText mWriterEditor;
    CaptionText mHeadline;
    CaptionText mSpecialInstructions;
    CaptionText mCategory;
    CaptionText mByline;
    // The By-line datasets the field was read from, when there were several: they
    // are written back as they were while the field still says what they said.
    std::vector<QByteArray> mBylines;
    CaptionText mBylineTitle;
    CaptionText mCredit;
    CaptionText mSource;
    CaptionText mCopyrightNotice;
    CaptionText mObjectName;
    UInt32 mDateCreated;
    CaptionText mCity;
    CaptionText mProvinceState;
    CaptionText mCountryName;
    CaptionText mOriginalTransmissionReference;
};

#pragma once

#include "MacTypes.h"

#include <QByteArrayView>
#include <QDate>
#include <QString>
#include <QStringView>

#include <memory>
#include <vector>

class CCriteria;
class CIndexItem;

// What testing items learned besides the answers.
struct EvaluationNotes {
    // An item could not be examined (its image record or display picture is missing).
    bool unchecked = false;
};

// One search criterion made ready to test many items: its category, selector and
// operand are read once. A test only reads the item: the records it reads may
// come from the media file, but a failure there leaves the item's error as it was.
//
// Which test a category takes:
// - item fields 4001-4026, image-record fields 5001-5013, caption fields
//   6001-6020, EXIF fields 4201-4222 (a missing record answers the yes/no test
//   with false, so negating selectors match items that lack it);
// - 6999, any text field: true when the name, the caption, the keywords or the
//   supplemental categories pass;
// - anything else: the yes/no test with false.
// Texts compare case-folded and whole; numbers are 64-bit; dates are seconds
// since 1904 compared by the local calendar. A value "$$@@<key>" is replaced, per
// item, by that field of the item (its number for number and date tests).
class CriterionTest {
public:
    // 'nilP' or 'asrt' when the criterion lacks its category or selector.
    explicit CriterionTest(const CCriteria& criterion);

    bool Matches(CIndexItem& item, EvaluationNotes& notes) const;
    // True for a test that reads only what the item holds and never yields (the
    // name against a plain value): nothing can take the item away meanwhile.
    bool NeverYields() const;

    SInt32 GetCategory() const { return mCategory; }
    SInt32 GetSelector() const { return mSelector; }

    // The tests by kind, as the table of selectors has them.
    static bool TextTest(QStringView itemText, SInt32 selector, const QString& operand);
    static bool NumberTest(SInt64 itemNumber, SInt32 selector, const QString& operand);
    // `today` is the local calendar date the today and yesterday tests take.
    static bool DateTest(UInt32 itemDate, SInt32 selector, const QString& operand, QDate today);
    static bool YesNoTest(bool value, SInt32 selector);

    // Whether a category has a test of its own (any other answers the yes/no
    // test with false, whatever the item).
    static bool TestsField(SInt32 key);

    // A decimal number at the start of the text (sign, digits), 0 without one.
    static SInt64 TextToNumber(QStringView text);

private:
    enum class Kind { Text, Number, Date };

    bool MatchesCategory(CIndexItem& item, SInt32 category, EvaluationNotes& notes) const;
    bool MatchItemField(CIndexItem& item, SInt32 key) const;
    bool MatchImageField(CIndexItem& item, SInt32 key, EvaluationNotes& notes) const;
    bool MatchCaptionField(CIndexItem& item, SInt32 key) const;
    bool MatchCaptionText(CIndexItem& item, SInt32 key) const;
    bool MatchEXIFField(CIndexItem& item, SInt32 key) const;
    // The operand for this item: the value, or the referenced field of the item
    // (kept until the next item's).
    const QString& OperandFor(CIndexItem& item, Kind kind) const
    {
        if (mReferencedKey == 0)
            return mValue;
        mResolved = ResolveReference(item, kind);
        return mResolved;
    }
    QString ResolveReference(CIndexItem& item, Kind kind) const;

    // The caption's texts that the caption, keyword and category tests read, as
    // caption bytes: the parsed caption's, or read in place from the record's
    // block that the item keeps unparsed (parsing it would sort and fold every
    // keyword). Read once for the fields of one item.
    struct CaptionTexts {
        bool present = false; // the item has a caption (its block parses)
        QByteArrayView caption;
        std::vector<QByteArrayView> keywords;
        std::vector<QByteArrayView> categories;
    };
    const CaptionTexts& CaptionTextsOf(CIndexItem& item) const;
    // Entries searched with "contains": true at the first hit for 7000 and 7002,
    // false at it for every other selector.
    bool ListTest(const std::vector<QByteArrayView>& entries, const QString& operand) const;
    // Caption bytes as text, in a string whose room is kept from field to field.
    QStringView TextOf(QByteArrayView captionBytes) const;

    SInt32 mCategory = 0;
    SInt32 mSelector = 0;
    QString mValue;
    SInt32 mReferencedKey = 0; // a "$$@@" value: the field it names
    mutable QString mResolved;
    mutable CaptionTexts mCaptionTexts;
    mutable const CIndexItem* mCaptionTextsOf = nullptr; // the item Matches is testing, once read
    mutable QString mText;
    QDate mToday;
};

// The text, number and date of an item's field as searches, batches and field
// references read them. The text is the whole field (a caption longer than 255
// bytes too); codes are their four characters in text order. False when the
// field has no value of that kind.
QString SearchFieldText(CIndexItem& item, SInt32 key);
bool SearchFieldNumber(CIndexItem& item, SInt32 key, SInt64& outNumber);

// EXIF fields other than the texts of the record: values read as text
// (exposure, aperture, distances) and values read as numbers.
bool IsEXIFValueTextKey(SInt32 key);
bool IsEXIFNumberKey(SInt32 key);
// Fields whose value is a whole number: a search row edits them with the number
// editor and the search compares them as numbers.
bool IsNumberFieldKey(SInt32 key);

// Takes an item out of reach of deletion for a scope: the view refuses to remove
// a busy item. Safe when the item goes anyway (it is then not touched again).
class StItemInUse {
public:
    explicit StItemInUse(CIndexItem* item);
    ~StItemInUse();
    StItemInUse(const StItemInUse&) = delete;
    StItemInUse& operator=(const StItemInUse&) = delete;

private:
    CIndexItem* mItem;
    std::weak_ptr<const void> mWatch;
};

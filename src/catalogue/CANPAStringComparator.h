#pragma once

#include "LComparator.h"
#include "MacTypes.h"
#include "PString.h"

#include <QCollator>

// The collation of the program's texts: the user's language (a neutral one in the
// C locale), case-sensitive, punctuation counted; with `numeric`, digits compare
// by their value ("img2" before "img10").
QCollator MakeTextCollator(bool numeric);

// While one lives, the thread's caption comparisons keep the collation of the
// language as it was when it was made: a caption being read compares its
// entries many times, and asking for the language each time cost more than
// the comparisons.
class StCaptionCollation {
public:
    StCaptionCollation();
    ~StCaptionCollation();
    StCaptionCollation(const StCaptionCollation&) = delete;
    StCaptionCollation& operator=(const StCaptionCollation&) = delete;

private:
    void* mOuter; // the collation an outer one pinned
};

// Orders caption list entries (keywords, supplemental categories) the way the
// user's language sorts text: letters first, ignoring case and accents, then
// accents, then case as tie-breakers. Only texts that are the same compare equal,
// so "Rome" and "rome" are two entries, next to each other.
// Elements are LStr255 objects; keys are Pascal strings.
class CANPAStringComparator : public LComparator {
public:
    CANPAStringComparator() = default;
    ~CANPAStringComparator() override = default;

    SInt32 Compare(const void* item1, const void* item2, UInt32 size1, UInt32 size2) const override;
    SInt32 CompareToKey(const void* item, UInt32 size, const void* key) const override;
    LComparator* Clone() const override { return new CANPAStringComparator; }

    // The sign of the comparison of two caption Pascal strings (Mac Roman with
    // references): -1, 0 or 1.
    SInt16 CompareStrings(ConstStr255Param one, ConstStr255Param two) const;
};

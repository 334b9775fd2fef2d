#include "CANPAStringComparator.h"

#include "IIMText.h"
#include "LString.h"

#include <QHash>

#include <cstring>

namespace {

// The C locale collates by code point (upper case before all lower case);
// texts are then ordered by the language-neutral collation instead.
QLocale CollationLocale()
{
    const QLocale locale;
    return locale.language() == QLocale::C ? QLocale(QLocale::English, QLocale::UnitedStates) : locale;
}

} // namespace

QCollator MakeTextCollator(bool numeric)
{
    QCollator collator(CollationLocale());
    // The default strength already sorts by base letters before accents and case.
    collator.setCaseSensitivity(Qt::CaseSensitive);
    collator.setNumericMode(numeric);
    collator.setIgnorePunctuation(false);
    return collator;
}

namespace {

// One collator for every caption of a thread, made again when the language
// changes: a collator holds over a kilobyte, and every caption has two lists.
// The sort keys of the entries compared last are kept with it: captions read by
// the thousand share their keywords, and two keys compare as their texts do.
struct CaptionCollation {
    QLocale locale = CollationLocale();
    QCollator collator = MakeTextCollator(false);
    QHash<QByteArray, QCollatorSortKey> keys;
};

thread_local CaptionCollation* tPinned = nullptr;

CaptionCollation& CaptionCollator()
{
    if (tPinned)
        return *tPinned;
    thread_local CaptionCollation collation;
    const QLocale locale = CollationLocale();
    if (locale != collation.locale)
        collation = CaptionCollation();
    return collation;
}

const QCollatorSortKey& CaptionSortKey(CaptionCollation& collation, ConstStr255Param bytes)
{
    constexpr qsizetype kMostKeys = 4096;
    const QByteArray entry = QByteArray::fromRawData(reinterpret_cast<const char*>(bytes + 1), bytes[0]);
    auto found = collation.keys.constFind(entry);
    if (found != collation.keys.constEnd())
        return *found;
    if (collation.keys.size() >= kMostKeys)
        collation.keys.clear();
    // Entries are caption bytes: the characters Mac Roman lacks collate as themselves,
    // not as the punctuation of their references.
    return *collation.keys.insert(
        QByteArray(entry.constData(), entry.size()), collation.collator.sortKey(IIMText::TextFromCaptionBytes(entry)));
}

} // namespace

StCaptionCollation::StCaptionCollation()
    : mOuter(tPinned)
{
    if (!mOuter)
        tPinned = &CaptionCollator();
}

StCaptionCollation::~StCaptionCollation()
{
    if (!mOuter)
        tPinned = nullptr;
}

SInt16 CANPAStringComparator::CompareStrings(ConstStr255Param one, ConstStr255Param two) const
{
    CaptionCollation& collation = CaptionCollator();
    const QCollatorSortKey first = CaptionSortKey(collation, one); // a copy: the second may grow the table
    const int result = first.compare(CaptionSortKey(collation, two));
    if (result != 0)
        return result < 0 ? -1 : 1;
    // Texts the collation holds equal (control characters it ignores) are still
    // told apart by their bytes, so no entry is lost as a duplicate.
    const int common = one[0] < two[0] ? one[0] : two[0];
    const int bytes = std::memcmp(one + 1, two + 1, size_t(common));
    if (bytes != 0)
        return bytes < 0 ? -1 : 1;
    return one[0] == two[0] ? 0 : (one[0] < two[0] ? -1 : 1);
}

SInt32 CANPAStringComparator::Compare(const void* item1, const void* item2, UInt32, UInt32) const
{
    return CompareStrings(*static_cast<const LStr255*>(item1), *static_cast<const LStr255*>(item2));
}

SInt32 CANPAStringComparator::CompareToKey(const void* item, UInt32, const void* key) const
{
    return CompareStrings(*static_cast<const LStr255*>(item), static_cast<ConstStr255Param>(key));
}

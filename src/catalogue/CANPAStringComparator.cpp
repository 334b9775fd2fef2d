#include "CANPAStringComparator.h"

#include "IIMText.h"
#include "LString.h"

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
const QCollator& CaptionCollator()
{
    thread_local QLocale made = CollationLocale();
    thread_local QCollator collator = MakeTextCollator(false);
    const QLocale locale = CollationLocale();
    if (locale != made) {
        made = locale;
        collator = MakeTextCollator(false);
    }
    return collator;
}

} // namespace

SInt16 CANPAStringComparator::CompareStrings(ConstStr255Param one, ConstStr255Param two) const
{
    // Entries are caption bytes: the characters Mac Roman lacks collate as themselves,
    // not as the punctuation of their references.
    auto text = [](ConstStr255Param bytes) { return IIMText::TextFromCaptionBytes(QByteArrayView(bytes + 1, bytes[0])); };
    const int result = CaptionCollator().compare(text(one), text(two));
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

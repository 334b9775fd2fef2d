#include "FieldKeys.h"

#include "BundleStrings.h"
#include "ExceptionCode.h"
#include "LMenuBar.h"
#include "LocalizedStrings.h"
#include "Preferences.h"

#include <memory>

namespace {

constexpr ResIDT kFieldMenuID = 212;
constexpr SInt16 kKindNameList = 603;
constexpr SInt16 kDefaultKindName = 1;

// Loaded on first use and kept for the life of the program.
const LMenu& FieldMenu()
{
    static std::unique_ptr<LMenu> menu;
    if (!menu) {
        try {
            menu = LMenu::Load(kFieldMenuID);
        } catch (const ExceptionCode& e) {
            ThrowOSErr_(err_NilPointer, std::string("field menu: ") + e.what());
        }
    }
    return *menu;
}

QString CapitalizeWords(QString text)
{
    bool wordStart = true;
    for (QChar& c : text) {
        if (wordStart && c.isLetter())
            c = c.toUpper();
        wordStart = c.isSpace();
    }
    return text;
}

struct KindEntry {
    OSType type;
    SInt16 index;
};

// The kind names of list 603 by file type; a trailing blank is part of a code.
constexpr KindEntry kKindNames[] = {
    {'MooV', 23}, {'FFIL', 35}, {'APPL', 47}, {'3DMF', 25}, {'.SGI', 13}, {'.fff', 52}, {'AIFC', 16},
    {'AIFF', 15}, {'8BPS', 11}, {'CWGR', 36}, {'BMPf', 4}, {'BMPp', 4}, {'DICM', 45}, {'EPSF', 12},
    {'CWPT', 37}, {'Midi', 18}, {'FPix', 32}, {'FLC ', 28}, {'FLI ', 28}, {'pFLI', 28}, {'JPEG', 3},
    {'GIFf', 19}, {'TIFF', 6}, {'PNGf', 22}, {'PICS', 29}, {'PDF ', 49}, {'PLS ', 48}, {'PICT', 2},
    {'SLD3', 34}, {'RAW ', 51}, {'SCRN', 5}, {'PNTG', 9}, {'Sd2f', 41}, {'SWFL', 44}, {'clpp', 14},
    {'VfW ', 7}, {'TPIC', 21}, {'ULAW', 40}, {'WMF ', 53}, {'XBM ', 20}, {'WAVE', 38}, {'qtif', 31},
    {'qdgx', 43}, {'dvc!', 17}, {'tfil', 27}, {'trak', 42}, {'sfil', 39}, {'MPG ', 26}, {'MPGa', 26},
    {'MPGv', 26}, {'MPGx', 26}, {'MPEG', 26}, {'M1V ', 26}, {'MP3 ', 33}, {'Mp3 ', 33}, {'MPG3', 33},
    {'PLAY', 33}, {'SwaT', 33},
};

SInt16 KindNameIndex(OSType fileType)
{
    for (const KindEntry& entry : kKindNames) {
        if (entry.type == fileType)
            return entry.index;
    }
    return kDefaultKindName;
}

} // namespace

const std::vector<SInt32>& AllFieldKeys()
{
    static const std::vector<SInt32> keys = [] {
        std::vector<SInt32> all;
        for (SInt32 key = 4001; key <= 4026; ++key) {
            if (key != 4012 && key != 4013 && key != 4018 && key != 4019)
                all.push_back(key);
        }
        for (SInt32 key = 4201; key <= 4227; ++key)
            all.push_back(key);
        for (SInt32 key = 5001; key <= 5012; ++key) {
            if (key != 5006)
                all.push_back(key);
        }
        for (SInt32 key = 6001; key <= 6020; ++key)
            all.push_back(key);
        return all;
    }();
    return keys;
}

bool IsFieldEditable(SInt32 key)
{
    if (IsEXIFFieldKey(key))
        return false;
    switch (key) {
    case kFieldTotalSize:
    case kFieldKind:
    case kFieldHasAlias:
    case kFieldUrgency:
    case kFieldUrgencyLabel:
    case kFieldLocation:
        return false;
    default:
        return !(key >= kFieldHasThumbnail && key <= kFieldFolder) && !(key >= kFieldUnsavedChanges && key <= kFieldOpenInViewer)
            && !(key >= kFieldWidth && key <= kFieldTemporalQuality && key != 5006);
    }
}

QString CopyFieldName(SInt32 key)
{
    const LMenu& menu = FieldMenu();
    const SInt16 index = menu.IndexFromCommand(key);
    if (index == 0)
        ThrowOSErr_(kMenuItemNotFoundErr, "no field menu item for key " + std::to_string(key));
    // The item's text is itself a key of the strings table, as every menu text is.
    return CapitalizeWords(BundleLocalizedString(menu.Item(index)->text));
}

SInt32 GetFieldKeyAt(SInt16 item)
{
    return FieldMenu().CommandFromIndex(item);
}

void GetKindNameForFileType(OSType fileType, Str255& out)
{
    GetLocalizedString(out, kKindNameList, KindNameIndex(fileType));
}

QString CopyKindNameForFileType(OSType fileType)
{
    return CopyLocalizedCFString(kKindNameList, KindNameIndex(fileType));
}

std::vector<SInt32> ReadFieldKeyList(const QString& prefKey)
{
    std::vector<SInt32> keys;
    const QVariantList list = CopyPrefValue(prefKey).toList();
    for (const QVariant& value : list) {
        bool ok = false;
        const SInt32 key = SInt32(value.toLongLong(&ok));
        ThrowIfNot_(ok, "field key list");
        keys.push_back(key);
    }
    return keys;
}

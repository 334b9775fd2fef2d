#pragma once

#include "Preferences.h"

#include <vector>

// Preferences that more than one place reads or writes, each named once here with
// its type. A key is spelled nowhere else in the program; every key here has a
// default in the preferences' table.
template <typename Accessor>
class NamedPref {
public:
    constexpr explicit NamedPref(const char* key)
        : mKey(key)
    {
    }
    const char* Name() const { return mKey; }
    QString Key() const { return QString::fromLatin1(mKey); }
    auto Get() const { return Accessor::Get(Key()); }
    template <typename T>
    void Set(const T& value) const
    {
        Accessor::Set(Key(), value);
    }

private:
    const char* mKey;
};

struct BooleanPrefAccess {
    static bool Get(const QString& key) { return GetPrefBoolean(key); }
    static void Set(const QString& key, bool value) { SetPrefBoolean(key, value); }
};
struct NumberPrefAccess {
    static SInt32 Get(const QString& key) { return GetPrefNumber(key); }
    static void Set(const QString& key, SInt32 value) { SetPrefNumber(key, value); }
};
struct ValuePrefAccess {
    static QVariant Get(const QString& key) { return CopyPrefValue(key); }
    static void Set(const QString& key, const QVariant& value) { SetPrefValue(key, value); }
};
// A handle has no default: Get answers false when the key holds no data.
struct HandlePref {
    const char* key;
    QString Key() const { return QString::fromLatin1(key); }
    const char* Name() const { return key; }
    bool Get(QByteArray& out) const { return GetPrefHandle(Key(), out); }
    void Set(const QByteArray& value) const { SetPrefHandle(Key(), value); }
};
using BooleanPref = NamedPref<BooleanPrefAccess>;
using NumberPref = NamedPref<NumberPrefAccess>;
using ValuePref = NamedPref<ValuePrefAccess>;

namespace Pref {
inline constexpr BooleanPref ConfirmDelete { "ConfirmDelete" };
// "Notify when a background task ends": error reports and long tasks' ends.
inline constexpr BooleanPref ShowNotificationDialog { "ShowNotificationDialog" };
inline constexpr BooleanPref MediaUseICCProfile { "MediaUseICCProfile" };
inline constexpr BooleanPref ValidateMedia { "ValidateMedia" };
inline constexpr BooleanPref IndexStoreMediaFile { "IndexStoreMediaFile" };
inline constexpr BooleanPref IndexRemoveMediaFile { "IndexRemoveMediaFile" };
inline constexpr HandlePref IndexPrintSettings { "IndexPrintSettings" };
inline constexpr BooleanPref ShowPoofEffect { "kPRShowPoofEffect" };
inline constexpr BooleanPref TransformUsingEXIF { "TransformUsingEXIF" };
inline constexpr BooleanPref TaskManagerWindowVisible { "TaskManagerWindowVisible" };
inline constexpr BooleanPref ShowFileExtension { "ShowFileExtension" };
inline constexpr BooleanPref SaveViewSettingsCloseWindow { "SaveViewSettingsCloseWindow" };
inline constexpr BooleanPref PrintFrame { "PrintFrame" };
inline constexpr BooleanPref PlayCompletionSound { "PlayCompletionSound" };
inline constexpr BooleanPref MediaUseFadeEffect { "MediaUseFadeEffect" };
inline constexpr BooleanPref MediaToolbarVisible { "MediaToolbarVisible" };
inline constexpr NumberPref MediaPatternID { "MediaPatternID" };
inline constexpr BooleanPref ImportSkipDuplicates { "ImportSkipDuplicates" };
inline constexpr BooleanPref IgnoreBuiltInThumbnail { "IgnoreBuiltInThumbnail" };
inline constexpr NumberPref DoubleClickAction { "DoubleClickAction" };
inline constexpr BooleanPref DimSelection { "DimSelection" };
inline constexpr BooleanPref ShowSlideEffect { "ShowSlideEffect" };
inline constexpr NumberPref DefaultIndexView { "DefaultIndexView" };
inline constexpr BooleanPref AutoCreateThumbnail { "AutoCreateThumbnail" };
inline constexpr BooleanPref ApplyChangesToMediaFile { "ApplyChangesToMediaFile" };
inline constexpr NumberPref DefaultThumbnailViewSize { "DefaultThumbnailViewSize " };
inline constexpr NumberPref DefaultExtendedViewSize { "DefaultExtendedViewSize " };
inline constexpr ValuePref ThumbnailViewColumns { "ThumbnailViewColumns" };
inline constexpr ValuePref ExtendedViewColumns { "ExtendedViewColumns" };
inline constexpr ValuePref MDIKeys { "MDIKeys" };

// Every key above, in that order.
inline std::vector<const char*> AllNamedKeys()
{
    return {
        ConfirmDelete.Name(),
        MediaUseICCProfile.Name(),
        ValidateMedia.Name(),
        IndexStoreMediaFile.Name(),
        IndexRemoveMediaFile.Name(),
        IndexPrintSettings.Name(),
        ShowPoofEffect.Name(),
        TransformUsingEXIF.Name(),
        TaskManagerWindowVisible.Name(),
        ShowFileExtension.Name(),
        SaveViewSettingsCloseWindow.Name(),
        PrintFrame.Name(),
        PlayCompletionSound.Name(),
        MediaUseFadeEffect.Name(),
        MediaToolbarVisible.Name(),
        MediaPatternID.Name(),
        ImportSkipDuplicates.Name(),
        IgnoreBuiltInThumbnail.Name(),
        DoubleClickAction.Name(),
        DimSelection.Name(),
        ShowSlideEffect.Name(),
        DefaultIndexView.Name(),
        AutoCreateThumbnail.Name(),
        ApplyChangesToMediaFile.Name(),
        DefaultThumbnailViewSize.Name(),
        DefaultExtendedViewSize.Name(),
        ThumbnailViewColumns.Name(),
        ExtendedViewColumns.Name(),
        MDIKeys.Name(),
    };
}
} // namespace Pref

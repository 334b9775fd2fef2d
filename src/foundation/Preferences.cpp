#include "Preferences.h"

#include "BundleStrings.h"
#include "ErrorHook.h"
#include "ExceptionCode.h"
#include "PreferenceDomain.h"
#include "PropertyList.h"

#include <QHash>
#include <QVariantList>

#include <cmath>
#include <limits>

bool gHasAquaMenuLayout = true;

namespace {

PreferenceDomain& Domain()
{
    return PreferenceDomain::Application();
}

// The forms the preferences service reads as a boolean: a boolean, a number
// (non-zero is true) or the words true/yes/false/no.
bool AsBoolean(const QVariant& value, bool& out)
{
    const int typeId = value.metaType().id();
    if (typeId == QMetaType::Bool) {
        out = value.toBool();
        return true;
    }
    if (PropertyList::IsIntegerValue(value) || PropertyList::IsRealValue(value)) {
        out = value.toDouble() != 0.0;
        return true;
    }
    if (typeId == QMetaType::QString) {
        const QString text = value.toString().trimmed();
        if (text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0
            || text.compare(QLatin1String("yes"), Qt::CaseInsensitive) == 0) {
            out = true;
            return true;
        }
        if (text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0
            || text.compare(QLatin1String("no"), Qt::CaseInsensitive) == 0) {
            out = false;
            return true;
        }
        bool ok = false;
        const qlonglong number = text.toLongLong(&ok);
        if (ok) {
            out = number != 0;
            return true;
        }
    }
    return false;
}

// An array of at least `count` numbers that are exact 16-bit values.
bool AsInt16Array(const QVariant& value, int count, SInt16* out)
{
    const int typeId = value.metaType().id();
    if (typeId != QMetaType::QVariantList)
        return false;
    const QVariantList list = value.toList();
    if (list.size() < count)
        return false;
    for (int i = 0; i < count; ++i) {
        if (!PropertyList::ToInt16(list.at(i), out[i]))
            return false;
    }
    return true;
}

QVariantList Int16Array(std::initializer_list<SInt16> values)
{
    QVariantList list;
    for (SInt16 v : values)
        list.append(QVariant::fromValue<qint16>(v));
    return list;
}

QVariantList FieldKeyArray(std::initializer_list<SInt32> keys)
{
    QVariantList list;
    for (SInt32 k : keys)
        list.append(QVariant::fromValue<qint32>(k));
    return list;
}

// ---------------------------------------------------------------------------
// The verse of the font sample texts. The thumbnail text runs its fourth and
// fifth lines together; the media text has a blank there and goes on further.

constexpr char kVerseOpening[] = "Now is the winter of our discontent "
                                 "Made glorious summer by this sun of York; "
                                 "And all the clouds that lour'd upon our house "
                                 "In the deep bosom of the ocean buried.";

constexpr char kVerseMiddle[] = "Now are our brows bound with victorious wreaths; "
                                "Our bruised arms hung up for monuments; "
                                "Our stern alarums changed to merry meetings, "
                                "Our dreadful marches to delightful measures. "
                                "Grim-visag'd war hath smooth'd his wrinkled front; "
                                "And now, instead of mounting barbed steeds "
                                "To fright the souls of fearful adversaries, "
                                "He capers nimbly in a lady's chamber "
                                "To the lascivious pleasing of a lute. "
                                "But I that am not shap'd for sportive tricks, "
                                "Nor made to court an amorous looking-glass; "
                                "I that am rudely stamp'd, and want love's majesty "
                                "To strut before a wanton ambling nymph; "
                                "I that am curtail'd of this fair proportion, "
                                "Cheated of feature by dissembling nature, "
                                "Deform'd, unfinish'd, sent before my time "
                                "Into this breathing world, scarce half made up, "
                                "And that so lamely and unfashionable "
                                "That dogs bark at me as I halt by them; "
                                "Why, I, in this weak piping time of peace, "
                                "Have no delight to pass away the time, "
                                "Unless to spy my shadow in the sun "
                                "And descant on mine own deformity";

constexpr char kVerseEnd[] = "And therefore, since I cannot prove a lover, "
                             "To entertain these fair well-spoken days, "
                             "I am determin'd to prove a villain "
                             "And hate the idle pleasures of these days. "
                             "Plots have I laid, inductions dangerous, "
                             "By drunken prophecies, libels and dreams, "
                             "To set my brother Clarence and the king "
                             "In deadly hate the one against the other: "
                             "And if King Edward be as true and just "
                             "As I am subtle, false and treacherous, "
                             "This day should Clarence closely be mew'd up, "
                             "About a prophecy, which says that 'G' "
                             "Of Edward's heirs the murderer shall be. "
                             "Dive, thoughts, down to my soul: here Clarence comes. "
                             "He cannot live, I hope; and must not die "
                             "Till George be pack'd with post-horse up to heaven. "
                             "I'll in to urge his hatred more to Clarence, "
                             "With lies well steel'd with weighty arguments; "
                             "And if I fail not in my deep intent, "
                             "Clarence hath not another day to live: "
                             "Which done, God take King Edward to his mercy, "
                             "And leave the world for me to bustle in! "
                             "For then I'll marry Warwick's youngest daughter. "
                             "What though I kill'd her husband and her father? "
                             "The readiest way to make the wench amends "
                             "Is to become her husband and her father: "
                             "The which will I; not all so much for love "
                             "As for another secret close intent, "
                             "By marrying her which I must reach unto. "
                             "But yet I run before my horse to market: "
                             "Clarence still breathes; Edward still lives and reigns: "
                             "When they are gone, then must I count my gains.";

QString FontThumbnailText()
{
    return QString::fromLatin1(kVerseOpening) + QString::fromLatin1(kVerseMiddle) + QLatin1Char('.');
}

QString FontMediaText()
{
    return QString::fromLatin1(kVerseOpening) + QLatin1Char(' ') + QString::fromLatin1(kVerseMiddle)
        + QStringLiteral(": ") + QString::fromLatin1(kVerseEnd);
}

// ---------------------------------------------------------------------------
// The defaults table.

enum class DefaultKind {
    Boolean,
    Number,
    Float,
    Point,
    Value,
    PropertyList, // a 'plsT' resource shipped under :/lists/
    IndexFontID,
    IndexFontSize,
    IconSize,
};

struct PrefDefault {
    const char* key;
    DefaultKind kind;
    SInt32 number = 0; // boolean (0/1), number, point v, or 'plsT' resource ID
    SInt32 second = 0; // point h
    float real = 0.0f;
    QVariant (*value)() = nullptr;
};

constexpr PrefDefault B(const char* key, bool value)
{
    return { key, DefaultKind::Boolean, value ? 1 : 0 };
}

constexpr PrefDefault N(const char* key, SInt32 value)
{
    return { key, DefaultKind::Number, value };
}

const std::vector<PrefDefault>& DefaultsTable()
{
    static const std::vector<PrefDefault> table = {
        // Booleans, true.
        B("IndexShowToolbar", true),
        B("IndexShowBrowser", true),
        B("BackSpaceDeletes", true),
        B("ConfirmDelete", true),
        B("ConfirmChangesToMedia", true),
        B("AutoCreateThumbnail", true),
        B("ApplyChangesToMediaFile", true),
        B("SharpenThumbnail", true),
        B("UseRatingInsteadOfPriority", true),
        B("HighQualityPrinting", true),
        B("ShowToolTips", true),
        B("PlayCompletionSound", true),
        B("LoopSlideShow", true),
        B("DownloadFiles", true),
        B("AskBeforeConnecting", true),
        B("ImportSkipSpecialFolders", true),
        B("ImportSkipPackages", true),
        B("PrintFrame", true),
        B("AdjustThumbnailViewHorizontal", true),
        B("AdjustThumbnailViewVertical", true),
        B("SnapZoomToFixedValues", true),
        B("RawQuickInterpolation", true),
        B("RawRenderHalfSize", true),
        B("RawUseCameraWhiteBalance", true),
        B("RawUseEmbeddedImage", true),
        B("ExportUseNaturalBounds", true),
        B("kPRExportUseDefaultResolution", true),
        B("ExportPreserveMetaData", true),
        B("kPRShowPoofEffect", true),
        B("ListViewSmallSize", true),
        B("ListViewShowThumbnails", true),
        B("ValidateMedia", true),
        B("UnifiedWindowToolbar", true),
        B("MediaCenterLargeImages", true),
        B("MediaUseICCProfile", true),
        B("MediaUseFadeEffect", true),
        B("MediaAutoPlay", true),
        B("MediaNavigatorVisible", true),
        B("FirstStartup 5.0", true),
        B("SaveViewSettingsCloseWindow", true),
        B("FontThumbnailWhiteBackground", true),
        B("ICADisconnectCamera", true),
        B("ICAAdjustCreationDate", true),
        B("ShowUpgradeNoticeDialog", true),
        B("MediaToolbarVisible", true),
        B("TransformUsingEXIF", true),
        B("OpenWithIncludesClassicApps", true),
        B("SourceListRecentIndexOpenState", true),
        B("SourceListRecentFolderOpenState", true),
        B("SourceListDevicesOpenState", true),
        B("SourceListPlacesOpenState", true),
        B("SourceListRecentOpenState", true),
        B("SourceListUsseerItemsOpenState", true),
        B("6017", true),
        B("6020", true),
        // The status bar holds the counts, the zoom slider and the task: shown at first.
        B("IndexShowStatusBar", true),
        // Booleans, false.
        B("DimSelection", false),
        B("IndexFullScreen", false),
        B("IndexBrowserAutoShow", false),
        B("ShowFileExtension", false),
        B("RecreateThumbnailWhenDifferent", false),
        B("MDIShowEmptyKeys", false),
        B("ImmediateDraw", false),
        B("ShowNotificationDialog", false),
        B("PlaySoundEffects", false),
        B("PrintHeader", false),
        B("FTPPassiveMode", true), // passive data connections pass the firewalls and NAT of Linux desktops
        B("ImportResolveAliases", false),
        B("ImportSkipDuplicates", false),
        B("PrintFooter", false),
        B("AppendUnknownMetaDataToCaptionText", false),
        B("RawLinearOutput", false),
        B("RawFourColorRGB", false),
        B("RawUseAutoWhiteBalance", false),
        B("RawDocumentMode", false),
        B("RawEnlargeEmbeddedImage", false),
        B("RawTrimBlackBordersFromNikon_", false),
        B("ExportPreserveColorProfile", false),
        B("ExportEmbedThumbnail", false),
        B("ExportAddToIndex", false),
        B("ShowMediaStorageBadge", false),
        B("ShowSlideEffect", false),
        B("TaskManagerWindowVisible", false),
        B("MediaLoopPlayback", false),
        B("MediaLoopBackForth", false),
        B("MediaControllerVisible", false),
        B("MediaInfoVisible", false),
        B("UseCustomIcon", false),
        B("IgnoreBuiltInThumbnail", false),
        B("ICADeleteAfterDownload", false),
        B("ICACreateCustomIcon", false),
        B("ICAEmbedColorSyncProfile", false),
        B("ICAAddMetaDataToFinderComment", false),
        B("ICALaunchIfNotRunning", false), // read by the preferences dialog, which needs a value
        B("MediaShowProgress", false),
        B("IndexAutoSave", false),
        B("IndexStoreMediaFile", false),
        B("IndexRemoveMediaFile", false),
        B("ShowDateWithTime", false),
        // Numbers.
        N("MediaZoomFlag", -2),
        N("FontThumbnailTextJust", -2),
        N("MediaVolume", 0),
        N("DoubleClickAction", 1),
        N("SlideShowOrder", 1),
        N("LastMoveCopyOptions", 1),
        N("FullScreenViewOptions", 1),
        N("IndexItemSpace", 2),
        N("ActionKeyAction", 2),
        N("StartupAction", 3),
        N("DefaultThumbnailCompression", 3),
        N("NumberParallelDownloads", 3),
        N("NumberParallelTasks", 4),
        N("SlideShowDelay", 4),
        N("ICAConnectCameraAction", 4),
        N("IndexThemeFontID", 6),
        N("ReservedSystemMemory", 10),
        N("DefaultIndexTheme_6", 14),
        N("IndexItemNameHeigth", 16),
        N("MultiTaskTime", 19),
        N("RecentItemsMaxCount", 20),
        N("kPRDefaultExportResolution", 72),
        N("MediaZoom", 100),
        N("MediaPatternID", 132),
        N("DefaultThumbnailSize", 160),
        N("DefaultThumbnailViewSize ", 160),
        N("DefaultExtendedViewSize ", 160),
        N("DefaultSourceViewWidth", 174),
        N("DefaultOrganizerViewWidth", 250), // its widest field names, "Supplemental Categories", whole
        N("MediaImageMaxZoom", 200),
        N("PhotofIssueTimeDiff", 480),
        N("DefaultExportQuality", 512),
        N("DefaultExportHeigth", 600),
        N("DefaultIndexWindowHeigth", 632),
        N("DefaultExportWidth", 800),
        N("MediaMovieMaxZoom", 1000),
        N("MediaViewQuality", 1024),
        N("ThumbnailCreateQuality", 1024),
        N("DefaultIndexView", 1083),
        N("DefaultIndexWindowWidth", 1085),
        N("PreferencesLastTab", 2000),
        N("DefaultExportType", SInt32('TIFF')),
        { "IndexFontID", DefaultKind::IndexFontID },
        { "IndexFontSize", DefaultKind::IndexFontSize },
        { "DefaultIconSize", DefaultKind::IconSize },
        // Float.
        { "RawBrightness", DefaultKind::Float, 0, 0, 1.0f },
        // Point: far outside any screen, so the task window finds its own place.
        { "TaskWindowPosition", DefaultKind::Point, 10000, 0 },
        // Strings.
        { "FontThumbnailText", DefaultKind::Value, 0, 0, 0.0f, [] { return QVariant(FontThumbnailText()); } },
        { "FontMediaText", DefaultKind::Value, 0, 0, 0.0f, [] { return QVariant(FontMediaText()); } },
        { "FontAlphabetText", DefaultKind::Value, 0, 0, 0.0f,
          [] { return QVariant(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789")); } },
        // Arrays of field keys.
        { "ExtendedViewColumns", DefaultKind::Value, 0, 0, 0.0f,
          [] {
              return QVariant(
                  FieldKeyArray({ 4001, 6020, 4004, 4003, 5004, 4223, 4015, 4016, 4222, 6001, 6016, 6017 }));
          } },
        { "ThumbnailViewColumns", DefaultKind::Value, 0, 0, 0.0f,
          [] { return QVariant(FieldKeyArray({ 4001, 6020 })); } },
        { "MDIKeys", DefaultKind::Value, 0, 0, 0.0f,
          [] {
              return QVariant(FieldKeyArray(
                  { 6016, 6017, 6005, 6006, 6007, 6008, 6002, 6010, 6011, 6012, 6014, 4004, 6020, 6013, 4001, 4011,
                    4010, 6004 }));
          } },
        { "RecentItems", DefaultKind::Value, 0, 0, 0.0f, [] { return QVariant(QVariantList()); } },
        // Stored searches and batches shipped with the program.
        { "SearchSettings_6", DefaultKind::PropertyList, 128 },
        { "BatchSettings_6", DefaultKind::PropertyList, 129 },
    };
    return table;
}

const QHash<QString, int>& DefaultsIndex()
{
    static const QHash<QString, int> index = [] {
        QHash<QString, int> names;
        const auto& table = DefaultsTable();
        for (int i = 0; i < int(table.size()); ++i)
            names.insert(QString::fromLatin1(table[size_t(i)].key), i);
        return names;
    }();
    return index;
}

// Loads a 'plsT' list and stores it: a missing resource is resNotFound, a list
// that does not parse 'nilP'.
void LayDownPropertyListDefault(const QString& key, SInt32 resourceID)
{
    QByteArray bytes;
    if (OSStatus err = LoadBundleResource(QStringLiteral("lists/plsT-%1.plist").arg(resourceID), bytes))
        ThrowOSErr_(err, "'plsT' " + std::to_string(resourceID));
    QVariant list;
    if (PropertyList::Read(bytes, list) != noErr)
        ThrowOSErr_(err_NilPointer, "'plsT' " + std::to_string(resourceID) + " does not parse");
    SetPrefValue(key, list);
    // Laid down as a window is built (its toolbar asks for the batch settings):
    // written without the window waiting on the disk.
    SynchronizePrefsSoon();
}

bool AsPoint(const QVariant& value, Point& out)
{
    SInt16 v[2] = {};
    if (!AsInt16Array(value, 2, v))
        return false;
    out = Point { v[0], v[1] };
    return true;
}

bool AsRect(const QVariant& value, Rect& out)
{
    SInt16 v[4] = {};
    if (!AsInt16Array(value, 4, v))
        return false;
    out = Rect { v[0], v[1], v[2], v[3] };
    return true;
}

// The miss rule of every getter: a key that is missing or not readable as T gets
// the zero value, then its default (when it has one), and is read once more.
template <typename T>
T ReadWithDefault(const QString& key, bool (*read)(const QVariant&, T&), const QVariant& zero)
{
    T value {};
    if (read(Domain().Value(key), value))
        return value;
    Domain().SetValue(key, zero);
    SetPrefDefault(key);
    value = T {};
    return read(Domain().Value(key), value) ? value : T {};
}

} // namespace

// ---------------------------------------------------------------------------

bool GetPrefBoolean(const QString& key)
{
    return ReadWithDefault<bool>(key, AsBoolean, QVariant(false));
}

void SetPrefBoolean(const QString& key, bool value)
{
    Domain().SetValue(key, QVariant(value));
}

SInt32 GetPrefNumber(const QString& key)
{
    return ReadWithDefault<SInt32>(key, PropertyList::ToInt32, QVariant::fromValue<qint32>(0));
}

void SetPrefNumber(const QString& key, SInt32 value)
{
    Domain().SetValue(key, QVariant::fromValue<qint32>(value));
}

float GetPrefFloat(const QString& key)
{
    // A lossy float is replaced by the integer 0, as for numbers.
    return ReadWithDefault<float>(key, PropertyList::ToFloat, QVariant::fromValue<qint32>(0));
}

void SetPrefFloat(const QString& key, float value)
{
    Domain().SetValue(key, QVariant::fromValue<float>(value));
}

QVariant CopyPrefValue(const QString& key)
{
    QVariant value = Domain().Value(key);
    if (value.isValid())
        return value;
    SetPrefDefault(key);
    return Domain().Value(key);
}

void SetPrefValue(const QString& key, const QVariant& value)
{
    Domain().SetValue(key, value);
}

Point GetPrefPoint(const QString& key)
{
    return ReadWithDefault<Point>(key, AsPoint, Int16Array({ 0, 0 }));
}

void SetPrefPoint(const QString& key, const Point* point)
{
    if (!point)
        return;
    Domain().SetValue(key, Int16Array({ point->v, point->h }));
}

Rect GetPrefRect(const QString& key)
{
    return ReadWithDefault<Rect>(key, AsRect, Int16Array({ 0, 0, 0, 0 }));
}

void SetPrefRect(const QString& key, const Rect* rect)
{
    if (!rect)
        return;
    Domain().SetValue(key, Int16Array({ rect->top, rect->left, rect->bottom, rect->right }));
}

bool GetPrefHandle(const QString& key, QByteArray& outHandle)
{
    const QVariant value = Domain().Value(key);
    if (value.metaType().id() != QMetaType::QByteArray)
        return false;
    outHandle = value.toByteArray();
    return true;
}

void SetPrefHandle(const QString& key, const QByteArray* handle)
{
    if (!handle) {
        Domain().Remove(key);
        return;
    }
    Domain().SetValue(key, *handle);
}

bool SynchronizePrefs()
{
    return SynchronizePrefsStatus() == noErr;
}

OSStatus SynchronizePrefsStatus()
{
    return Domain().Synchronize();
}

void SynchronizePrefsSoon()
{
    Domain().SynchronizeSoon();
}

OSStatus WritePrefsNow(const char* what)
{
    const OSStatus status = SynchronizePrefsStatus();
    if (status != noErr)
        qCWarning(lcOrvexErrors) << "the preferences were not written after" << what << "- code" << status;
    return status;
}

void SetPrefDefault(const QString& key)
{
    const auto& index = DefaultsIndex();
    const auto found = index.constFind(key);
    if (found == index.constEnd())
        return;
    const PrefDefault& entry = DefaultsTable()[size_t(found.value())];
    switch (entry.kind) {
    case DefaultKind::Boolean:
        SetPrefBoolean(key, entry.number != 0);
        break;
    case DefaultKind::Number:
        SetPrefNumber(key, entry.number);
        break;
    case DefaultKind::Float:
        SetPrefFloat(key, entry.real);
        break;
    case DefaultKind::Point: {
        const Point point = MakePoint(entry.number, entry.second);
        SetPrefPoint(key, &point);
        break;
    }
    case DefaultKind::Value:
        SetPrefValue(key, entry.value());
        break;
    case DefaultKind::PropertyList:
        LayDownPropertyListDefault(key, entry.number);
        break;
    case DefaultKind::IndexFontID:
        SetPrefNumber(key, gHasAquaMenuLayout ? kSystemFontID : kApplicationFontID);
        break;
    case DefaultKind::IndexFontSize:
        SetPrefNumber(key, gHasAquaMenuLayout ? 10 : 9);
        break;
    case DefaultKind::IconSize:
        SetPrefNumber(key, gHasAquaMenuLayout ? 96 : 32);
        break;
    }
}

QStringList PrefDefaultKeys()
{
    QStringList keys;
    for (const PrefDefault& entry : DefaultsTable())
        keys.append(QString::fromLatin1(entry.key));
    return keys;
}

StTempPrefBoolean::StTempPrefBoolean(const QString& key, bool value)
    : mSavedValue(GetPrefBoolean(key))
    , mKey(key)
{
    SetPrefBoolean(mKey, value);
}

StTempPrefBoolean::~StTempPrefBoolean()
{
    SetPrefBoolean(mKey, mSavedValue);
}

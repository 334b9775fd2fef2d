#include "Preferences.h"
#include "PrefKeys.h"

#include "ExceptionCode.h"
#include "PreferenceDomain.h"
#include "PropertyList.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QSet>

namespace {

// Each test starts from an empty domain with no file on disk.
class Preferences : public ::testing::Test {
protected:
    void SetUp() override
    {
        Domain().Reload(); // after the last test's write in the background, if any
        QFile::remove(Domain().FilePath());
        Domain().Reload();
        gHasAquaMenuLayout = true;
    }
    void TearDown() override { gHasAquaMenuLayout = true; }

    static PreferenceDomain& Domain() { return PreferenceDomain::Application(); }
    static QVariant Stored(const char* key) { return Domain().Value(QString::fromLatin1(key)); }
};

} // namespace

TEST_F(Preferences, MissingNumberLaysDownItsDefaultAndATrailingBlankIsAnotherKey)
{
    EXPECT_EQ(GetPrefNumber("DefaultThumbnailSize"), 160);
    EXPECT_EQ(Stored("DefaultThumbnailSize").toInt(), 160);
    EXPECT_EQ(Stored("DefaultThumbnailSize").metaType().id(), QMetaType::Int);

    // "DefaultThumbnailViewSize " has a default; without the blank it has none.
    EXPECT_EQ(GetPrefNumber("DefaultThumbnailViewSize "), 160);
    EXPECT_EQ(GetPrefNumber("DefaultThumbnailViewSize"), 0);
    EXPECT_EQ(GetPrefNumber("DefaultThumbnailSize "), 0);
    EXPECT_TRUE(Domain().Contains("DefaultThumbnailSize "));
    EXPECT_EQ(Stored("DefaultThumbnailSize ").toInt(), 0);
}

TEST_F(Preferences, BooleanWithoutDefaultReadsFalseAndStaysStored)
{
    EXPECT_FALSE(GetPrefBoolean("IndexMetalWindow"));
    EXPECT_EQ(Stored("IndexMetalWindow"), QVariant(false));
    EXPECT_TRUE(GetPrefBoolean("ShowToolTips"));
    EXPECT_TRUE(GetPrefBoolean("6020"));
    EXPECT_FALSE(GetPrefBoolean("ShowFileExtension"));

    // Other forms the service reads as booleans.
    SetPrefValue("Flag", QStringLiteral("YES"));
    EXPECT_TRUE(GetPrefBoolean("Flag"));
    SetPrefValue("Flag", QVariant::fromValue<qint64>(0));
    EXPECT_FALSE(GetPrefBoolean("Flag"));
    // A form it cannot read is replaced by false, then the default.
    SetPrefValue("ShowToolTips", QVariantList());
    EXPECT_TRUE(GetPrefBoolean("ShowToolTips"));
    EXPECT_EQ(Stored("ShowToolTips"), QVariant(true));
}

TEST_F(Preferences, LossyNumberIsReplacedByTheDefault)
{
    SetPrefFloat("DefaultThumbnailSize", 1.5f);
    EXPECT_EQ(GetPrefNumber("DefaultThumbnailSize"), 160);
    EXPECT_EQ(Stored("DefaultThumbnailSize").toInt(), 160);

    SetPrefFloat("NoSuchNumber", 1.5f);
    EXPECT_EQ(GetPrefNumber("NoSuchNumber"), 0);
    EXPECT_EQ(Stored("NoSuchNumber").toInt(), 0);

    // Exact values of other number types are read as they are.
    SetPrefValue("MultiTaskTime", 7.0);
    EXPECT_EQ(GetPrefNumber("MultiTaskTime"), 7);
    SetPrefValue("MultiTaskTime", QVariant::fromValue<qint64>(Q_INT64_C(1) << 40));
    EXPECT_EQ(GetPrefNumber("MultiTaskTime"), 19);

    EXPECT_EQ(GetPrefFloat("RawBrightness"), 1.0f);
    SetPrefValue("RawBrightness", 0.1); // a double that no float holds
    EXPECT_EQ(GetPrefFloat("RawBrightness"), 1.0f);
}

TEST_F(Preferences, CopyPrefValueOfAKeyWithoutDefaultAddsNothing)
{
    EXPECT_FALSE(CopyPrefValue("LastSearchSettings").isValid());
    EXPECT_FALSE(Domain().Contains("LastSearchSettings"));
    EXPECT_TRUE(Domain().Values().isEmpty());

    const QVariantList columns = CopyPrefValue("ExtendedViewColumns").toList();
    ASSERT_EQ(columns.size(), 12);
    EXPECT_EQ(columns.first().toInt(), 4001);
    EXPECT_EQ(columns.last().toInt(), 6017);
    EXPECT_EQ(columns.first().metaType().id(), QMetaType::Int);
    EXPECT_EQ(CopyPrefValue("MDIKeys").toList().size(), 18);
    EXPECT_EQ(CopyPrefValue("RecentItems").metaType().id(), QMetaType::QVariantList);
}

TEST_F(Preferences, AquaMenuLayoutDecidesFontAndIconDefaults)
{
    EXPECT_EQ(GetPrefNumber("IndexFontSize"), 10);
    EXPECT_EQ(GetPrefNumber("DefaultIconSize"), 96);
    EXPECT_EQ(GetPrefNumber("IndexFontID"), kSystemFontID);

    SetUp();
    gHasAquaMenuLayout = false;
    EXPECT_EQ(GetPrefNumber("IndexFontSize"), 9);
    EXPECT_EQ(GetPrefNumber("DefaultIconSize"), 32);
    EXPECT_EQ(GetPrefNumber("IndexFontID"), kApplicationFontID);
}

TEST_F(Preferences, PointsRectsAndTheirStoredForm)
{
    EXPECT_EQ(GetPrefPoint("TaskWindowPosition"), (Point { 10000, 0 }));
    EXPECT_EQ(GetPrefPoint("SearchWindowPosition"), (Point { 0, 0 }));
    EXPECT_EQ(GetPrefRect("MediaNavigatorWindowRect_"), (Rect { 0, 0, 0, 0 }));

    SetPrefPoint("SearchWindowPosition", Point { 44, -12 });
    const QVariantList stored = Stored("SearchWindowPosition").toList();
    ASSERT_EQ(stored.size(), 2);
    EXPECT_EQ(stored[0].metaType().id(), QMetaType::Short);
    EXPECT_EQ(stored[0].toInt(), 44);
    EXPECT_EQ(stored[1].toInt(), -12);

    SetPrefRect("MediaNavigatorWindowRect_", Rect { 1, 2, 300, 400 });
    EXPECT_EQ(GetPrefRect("MediaNavigatorWindowRect_"), (Rect { 1, 2, 300, 400 }));

    // Written and read back from disk the numbers are 64-bit, and still read.
    ASSERT_TRUE(SynchronizePrefs());
    Domain().Reload();
    EXPECT_EQ(GetPrefPoint("SearchWindowPosition"), (Point { 44, -12 }));
    EXPECT_EQ(GetPrefRect("MediaNavigatorWindowRect_"), (Rect { 1, 2, 300, 400 }));

    // A stored value of another form counts as missing.
    SetPrefValue("TaskWindowPosition", QVariantList { 1 });
    EXPECT_EQ(GetPrefPoint("TaskWindowPosition"), (Point { 10000, 0 }));
    SetPrefValue("ItemInfoWindowPosition", QVariantList { 1, 70000 });
    EXPECT_EQ(GetPrefPoint("ItemInfoWindowPosition"), (Point { 0, 0 }));
}

TEST_F(Preferences, NullValuesRemoveKeysAndDefaultsComeBack)
{
    SetPrefNumber("StartupAction", 4);
    SetPrefValue("StartupAction", QVariant());
    EXPECT_FALSE(Domain().Contains("StartupAction"));
    EXPECT_EQ(GetPrefNumber("StartupAction"), 3);

    const QByteArray alias("\x00\x01alias", 7);
    SetPrefHandle("DownloadFolderAlias", alias);
    QByteArray out;
    ASSERT_TRUE(GetPrefHandle("DownloadFolderAlias", out));
    EXPECT_EQ(out, alias);
    SetPrefHandle("DownloadFolderAlias", nullptr);
    EXPECT_FALSE(Domain().Contains("DownloadFolderAlias"));
    EXPECT_FALSE(GetPrefHandle("DownloadFolderAlias", out));
    EXPECT_FALSE(Domain().Contains("DownloadFolderAlias")); // no default is laid down

    // A handle survives the disk as data.
    SetPrefHandle("IndexPrintSettings", alias);
    ASSERT_TRUE(SynchronizePrefs());
    Domain().Reload();
    ASSERT_TRUE(GetPrefHandle("IndexPrintSettings", out));
    EXPECT_EQ(out, alias);
}

TEST_F(Preferences, FirstReadOfStoredSearchesWritesTheDomain)
{
    ASSERT_FALSE(QFile::exists(Domain().FilePath()));
    const QVariantList searches = CopyPrefValue("SearchSettings_6").toList();
    ASSERT_FALSE(searches.isEmpty());
    // Written on a thread of its own; a reload waits for that write and reads it back.
    Domain().Reload();
    EXPECT_TRUE(QFile::exists(Domain().FilePath()));
    EXPECT_EQ(Domain().Value("SearchSettings_6").toList(), searches);

    // Every stored setting is in the search window's form.
    for (const char* key : { "SearchSettings_6", "BatchSettings_6" }) {
        for (const QVariant& entry : CopyPrefValue(key).toList()) {
            const QVariantMap setting = entry.toMap();
            EXPECT_FALSE(setting.value("SettingName").toString().isEmpty()) << key;
            EXPECT_TRUE(setting.contains("SettingShortcut")) << key;
            EXPECT_TRUE(setting.contains("SourceKind")) << key;
            EXPECT_TRUE(setting.contains("ResultKind")) << key;
            for (const QVariant& criterion : setting.value("CriteriaList").toList()) {
                const QVariantMap c = criterion.toMap();
                EXPECT_GE(c.value("Category").toInt(), 4001) << key;
                EXPECT_GE(c.value("Selector").toInt(), 7000) << key;
                EXPECT_TRUE(c.contains("Value")) << key;
            }
        }
    }
    // The shipped lists are in the platform's own layout.
    const QByteArray shipped = ReadWholeFile(QStringLiteral(ORVEX_SOURCE_DIR "/resources/lists/plsT-129.plist"));
    EXPECT_EQ(PropertyList::ToXML(CopyPrefValue("BatchSettings_6")), shipped);
}

TEST_F(Preferences, DefaultsTableHoldsEveryKeyOnceWithItsType)
{
    const QStringList keys = PrefDefaultKeys();
    EXPECT_EQ(keys.size(), 155);
    EXPECT_EQ(QSet<QString>(keys.begin(), keys.end()).size(), 155);

    for (const QString& key : keys)
        SetPrefDefault(key);
    const QVariantMap values = Domain().Values();
    EXPECT_EQ(values.size(), 155);
    int booleans = 0;
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        booleans += it.value().metaType().id() == QMetaType::Bool;
    EXPECT_EQ(booleans, 99);
    EXPECT_EQ(values.value("DefaultExportType").toInt(), 0x54494646);
    EXPECT_EQ(values.value("MediaZoomFlag").toInt(), -2);
    EXPECT_EQ(values.value("RawBrightness").metaType().id(), QMetaType::Float);
    EXPECT_EQ(values.value("FontAlphabetText").toString().size(), 62);

    // A key the table does not know is left alone.
    SetPrefDefault("NotAPreference");
    EXPECT_FALSE(Domain().Contains("NotAPreference"));
}

TEST_F(Preferences, VerseSamplesStartAndEndAsStored)
{
    const QString thumbnail = CopyPrefValue("FontThumbnailText").toString();
    EXPECT_TRUE(thumbnail.startsWith("Now is the winter of our discontent"));
    EXPECT_TRUE(thumbnail.endsWith("And descant on mine own deformity."));
    EXPECT_TRUE(thumbnail.contains("buried.Now are our brows"));
    EXPECT_EQ(thumbnail.size(), 1139);

    const QString media = CopyPrefValue("FontMediaText").toString();
    EXPECT_TRUE(media.startsWith("Now is the winter of our discontent"));
    EXPECT_TRUE(media.contains("buried. Now are our brows"));
    EXPECT_TRUE(media.endsWith("When they are gone, then must I count my gains."));
    EXPECT_NEAR(media.size(), 2517, 10);
}

TEST_F(Preferences, TemporaryBooleanRestoresThePreviousValue)
{
    {
        StTempPrefBoolean guard("ShowFileExtension", true);
        EXPECT_TRUE(GetPrefBoolean("ShowFileExtension"));
    }
    EXPECT_FALSE(GetPrefBoolean("ShowFileExtension"));
    EXPECT_EQ(Stored("ShowFileExtension"), QVariant(false));

    SetPrefBoolean("ShowFileExtension", true);
    {
        StTempPrefBoolean guard("ShowFileExtension", false);
        EXPECT_FALSE(GetPrefBoolean("ShowFileExtension"));
    }
    EXPECT_TRUE(GetPrefBoolean("ShowFileExtension"));
}

TEST_F(Preferences, SynchronizedDomainSurvivesAReload)
{
    SetPrefNumber("NumberParallelTasks", 8);
    SetPrefFloat("RawBrightness", 0.75f);
    SetPrefBoolean("IndexAutoSave", true);
    SetPrefValue("LastBatchSettings", QVariantMap { { QStringLiteral("SourceKind"), 9001 } });
    ASSERT_TRUE(SynchronizePrefs());

    Domain().Reload();
    EXPECT_EQ(GetPrefNumber("NumberParallelTasks"), 8);
    EXPECT_EQ(GetPrefFloat("RawBrightness"), 0.75f);
    EXPECT_TRUE(GetPrefBoolean("IndexAutoSave"));
    EXPECT_EQ(CopyPrefValue("LastBatchSettings").toMap().value("SourceKind").toInt(), 9001);
}

TEST_F(Preferences, EveryNamedKeyIsSpelledOnceAndHasItsDefault)
{
    const QStringList defaults = PrefDefaultKeys();
    QSet<QString> seen;
    for (const char* name : Pref::AllNamedKeys()) {
        const QString key = QString::fromLatin1(name);
        EXPECT_FALSE(seen.contains(key)) << name;
        seen.insert(key);
        if (key != Pref::IndexPrintSettings.Key()) // print settings are the user's only
            EXPECT_TRUE(defaults.contains(key)) << "no default for \"" << name << "\"";
    }
    // The typed accessors read and write the same stored values.
    Pref::DefaultThumbnailViewSize.Set(SInt32(96));
    EXPECT_EQ(GetPrefNumber(QStringLiteral("DefaultThumbnailViewSize ")), 96);
    Pref::ConfirmDelete.Set(false);
    EXPECT_FALSE(Pref::ConfirmDelete.Get());
    SetPrefDefault(Pref::DefaultThumbnailViewSize.Key());
    EXPECT_EQ(Pref::DefaultThumbnailViewSize.Get(), 160);
}

// The index's keys of settings.xml as its model reads and writes them and its
// view shows them, and their preference defaults.

#include "CIndexItem.h"
#include "CIndexView.h"
#include "CVisualTask.h"
#include "ExceptionCode.h"
#include "Preferences.h"
#include "PropertyList.h"
#include "StandaloneIndexView.h"
#include "URegistrar.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <optional>

namespace {

class Ear : public LListener {
public:
    void ListenToMessage(MessageT message, void*) override { heard.push_back(message); }
    std::vector<MessageT> heard;
};

QVariant Int(SInt32 value)
{
    return QVariant::fromValue<qint32>(value);
}

class IndexViewSettings : public ::testing::Test {
protected:
    void SetUp() override
    {
        URegistrar::RegisterFrameworkClasses();
        InitializeTasks();
        ResetDefaults();
        mIndex.emplace(MakeView());
        view = mIndex->get();
    }
    void TearDown() override
    {
        ResetDefaults(); // what a test saved as defaults is no other test's start
        mIndex.reset();
        TerminateTasks();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    static void ResetDefaults()
    {
        for (const char* key : { "DefaultThumbnailViewSize ", "DefaultExtendedViewSize ", "ExtendedViewColumns",
                 "ThumbnailViewColumns", "DefaultIndexTheme_6", "IndexFullScreen", "IndexStoreMediaFile",
                 "IndexRemoveMediaFile", "ShowFileExtension" })
            SetPrefDefault(QString::fromLatin1(key));
    }

    static StandaloneIndexView MakeView() { return StandaloneIndexView(800, 600); }

    // As the document reads settings.xml: the model takes the keys, the view shows them.
    static void Read(CIndexView* target, const QVariantMap& settings, bool withoutOpenOptions)
    {
        target->GetModel().ReadSettings(settings, withoutOpenOptions);
        target->ShowSettings();
    }

    // As the document writes it: where the grid is scrolled joins the model's settings.
    static void Write(CIndexView* target, QVariantMap& settings, bool withoutOpenOptions)
    {
        target->GetModel().Settings().firstVisibleItem = target->FindFirstVisibleItem();
        target->GetModel().WriteSettings(settings, withoutOpenOptions);
    }

    // As a reused window starts on another index.
    static void Reset(CIndexView* target)
    {
        target->ShowAllItems(true);
        target->RemoveAllItems();
        target->GetModel().ResetSettings();
        target->ShowSettings();
    }

    static void Fill(CIndexView* target, const QStringList& names)
    {
        for (const QString& name : names)
            target->InsertItem(new CIndexItem(QUrl("http://example.org/" + name)), kInsertAtEnd, false, true);
    }

    static QStringList Names(const CIndexView* target)
    {
        QStringList names;
        for (CIndexItem* item : target->GetItemList())
            names << item->GetName();
        return names;
    }

    std::optional<StandaloneIndexView> mIndex;
    CIndexView* view = nullptr;
};

} // namespace

// --- Writing ---------------------------------------------------------------------------------------------

TEST_F(IndexViewSettings, WritesEveryKeyOfTheViewWithItsTypeAndKeepsForeignKeys)
{
    view->SetThumbnailSize(200, false);
    view->LoadColumns(kThumbnailViewMode, { Int(4001), Int(6020), Int(4004) });
    view->LoadColumns(kExtendedViewMode, { Int(4001) });
    view->SetTheme(7, false);
    view->SetSortKey(4004, true);
    view->SetFlags(kViewShowCommentOnOpen | kViewStoreMediaFile);
    view->SetComment("Harbour in winter");
    view->SetIndexURLText("https://example.org/harbour");

    QVariantMap settings { { "ListViewColumns", QVariantList { Int(4001) } }, { "Mine", "kept" } };
    Write(view, settings, false);

    EXPECT_EQ(settings.value("Mine").toString(), "kept");
    EXPECT_TRUE(settings.contains("ListViewColumns"));
    // The size keys end in a blank; numbers are 32-bit integers, flags booleans.
    EXPECT_EQ(settings.value("DefaultThumbnailViewSize ").typeId(), QMetaType::Int);
    EXPECT_EQ(settings.value("DefaultThumbnailViewSize ").toInt(), 200);
    EXPECT_EQ(settings.value("DefaultExtendedViewSize ").toInt(), 160);
    EXPECT_FALSE(settings.contains("DefaultThumbnailViewSize"));
    EXPECT_EQ(settings.value("ThumbnailViewColumns").toList(), (QVariantList { Int(4001), Int(6020), Int(4004) }));
    EXPECT_EQ(settings.value("ExtendedViewColumns").toList(), (QVariantList { Int(4001) }));
    EXPECT_EQ(settings.value("DefaultIndexTheme_6").toInt(), 7);
    EXPECT_EQ(settings.value("IndexSortKey").toInt(), 4004);
    EXPECT_EQ(settings.value("IndexSortOrder").toInt(), 1);
    EXPECT_EQ(settings.value("IndexFullScreen"), QVariant(false));
    EXPECT_EQ(settings.value("IndexShowInfoOnOpen"), QVariant(true));
    EXPECT_EQ(settings.value("IndexShowSlideShowOnOpen"), QVariant(false));
    EXPECT_EQ(settings.value("IndexStoreMediaFile"), QVariant(true));
    EXPECT_EQ(settings.value("IndexRemoveMediaFile"), QVariant(false));
    EXPECT_EQ(settings.value("FirstVisibleItem").typeId(), QMetaType::Int);
    EXPECT_EQ(settings.value("Comment").toString(), "Harbour in winter");
    EXPECT_EQ(settings.value("URL").toString(), "https://example.org/harbour");
}

TEST_F(IndexViewSettings, AnUnsortedListDropsTheSortKeyAndWritesOrderTwo)
{
    QVariantMap settings { { "IndexSortKey", Int(4004) }, { "IndexSortOrder", Int(0) } };
    ASSERT_FALSE(view->GetKeepSorted());
    Write(view, settings, false);
    EXPECT_FALSE(settings.contains("IndexSortKey"));
    EXPECT_EQ(settings.value("IndexSortOrder").toInt(), 2);

    view->SetSortKey(4001, false);
    Write(view, settings, false);
    EXPECT_EQ(settings.value("IndexSortKey").toInt(), 4001);
    EXPECT_EQ(settings.value("IndexSortOrder").toInt(), 0);
}

TEST_F(IndexViewSettings, WithoutOpenOptionsTheThreeOpenKeysAreLeftAsTheyWere)
{
    view->SetFlags(kViewShowCommentOnOpen | kViewOpenFirstItemOnOpen);
    QVariantMap settings { { "IndexShowInfoOnOpen", false }, { "IndexFullScreen", true } };
    Write(view, settings, true);
    EXPECT_EQ(settings.value("IndexShowInfoOnOpen"), QVariant(false));
    EXPECT_EQ(settings.value("IndexFullScreen"), QVariant(true));
    EXPECT_FALSE(settings.contains("IndexShowSlideShowOnOpen"));
    EXPECT_TRUE(settings.contains("IndexStoreMediaFile"));
}

TEST_F(IndexViewSettings, ACommentOrURLClearedByTheUserLeavesTheFile)
{
    QVariantMap settings { { "Comment", "old" }, { "URL", "https://example.org/old" } };
    Write(view, settings, false);
    EXPECT_FALSE(settings.contains("Comment"));
    EXPECT_FALSE(settings.contains("URL"));
}

TEST_F(IndexViewSettings, InFullScreenTheThemeWrittenIsTheOneBeforeIt)
{
    view->SetTheme(9, false);
    view->SetFullScreen(true);
    EXPECT_EQ(view->GetTheme(), kFullScreenTheme);
    QVariantMap settings;
    Write(view, settings, false);
    EXPECT_EQ(settings.value("DefaultIndexTheme_6").toInt(), 9);
    EXPECT_EQ(settings.value("IndexFullScreen"), QVariant(true));
    view->SetFullScreen(false);
    EXPECT_EQ(view->GetTheme(), 9);
}

TEST_F(IndexViewSettings, AnIndexReadIntoAFullScreenWindowKeepsItsOwnTheme)
{
    // A window reused while full screen: the next index brings theme 12.
    view->SetTheme(9, false);
    view->SetFullScreen(true);
    Read(view, { { "DefaultIndexTheme_6", Int(12) } }, true);
    EXPECT_EQ(view->GetTheme(), kFullScreenTheme) << "full screen shows its own theme";
    QVariantMap settings;
    Write(view, settings, false);
    EXPECT_EQ(settings.value("DefaultIndexTheme_6").toInt(), 12) << "the index's theme, not the last one's";
    view->SetFullScreen(false);
    EXPECT_EQ(view->GetTheme(), 12);
}

// --- Reading ---------------------------------------------------------------------------------------------

TEST_F(IndexViewSettings, AFileWrittenByHandIsReadAndWrittenBackByteForByte)
{
    // A settings.xml as another copy of the program writes it: the view's keys in
    // sorted order, tab indented, with a key of the list view it does not own.
    const QByteArray file = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                            "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                            "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                            "<plist version=\"1.0\">\n"
                            "<dict>\n"
                            "\t<key>Comment</key>\n"
                            "\t<string>Boats &amp; nets</string>\n"
                            "\t<key>DefaultExtendedViewSize </key>\n"
                            "\t<integer>96</integer>\n"
                            "\t<key>DefaultIndexTheme_6</key>\n"
                            "\t<integer>12</integer>\n"
                            "\t<key>DefaultThumbnailViewSize </key>\n"
                            "\t<integer>128</integer>\n"
                            "\t<key>ExtendedViewColumns</key>\n"
                            "\t<array>\n"
                            "\t\t<integer>4001</integer>\n"
                            "\t\t<integer>6001</integer>\n"
                            "\t</array>\n"
                            "\t<key>FirstVisibleItem</key>\n"
                            "\t<integer>0</integer>\n"
                            "\t<key>IndexFullScreen</key>\n"
                            "\t<false/>\n"
                            "\t<key>IndexRemoveMediaFile</key>\n"
                            "\t<false/>\n"
                            "\t<key>IndexShowInfoOnOpen</key>\n"
                            "\t<true/>\n"
                            "\t<key>IndexShowSlideShowOnOpen</key>\n"
                            "\t<false/>\n"
                            "\t<key>IndexSortKey</key>\n"
                            "\t<integer>4003</integer>\n"
                            "\t<key>IndexSortOrder</key>\n"
                            "\t<integer>1</integer>\n"
                            "\t<key>IndexStoreMediaFile</key>\n"
                            "\t<true/>\n"
                            "\t<key>ListViewColumns</key>\n"
                            "\t<array>\n"
                            "\t\t<integer>4001</integer>\n"
                            "\t</array>\n"
                            "\t<key>ThumbnailViewColumns</key>\n"
                            "\t<array>\n"
                            "\t\t<integer>4001</integer>\n"
                            "\t</array>\n"
                            "\t<key>URL</key>\n"
                            "\t<string>ftp://example.org/boats/</string>\n"
                            "</dict>\n"
                            "</plist>\n";
    QVariant parsed;
    ASSERT_EQ(PropertyList::Read(file, parsed), noErr);
    QVariantMap settings = parsed.toMap();
    Read(view, settings, false);

    EXPECT_EQ(view->GetThumbnailSize(), 128);
    EXPECT_EQ(view->GetExtendedSize(), 96);
    EXPECT_EQ(view->GetTheme(), 12);
    EXPECT_EQ(view->GetColumns(kExtendedViewMode), (std::vector<SInt32> { 4001, 6001 }));
    EXPECT_EQ(view->GetSortKey(), 4003);
    EXPECT_EQ(view->GetSortOrder(), 1); // descending comes back as saved
    EXPECT_TRUE(view->TestFlags(kViewShowCommentOnOpen));
    EXPECT_TRUE(view->TestFlags(kViewStoreMediaFile));
    EXPECT_FALSE(view->TestFlags(kViewRemoveMediaFile));
    EXPECT_EQ(view->GetComment(), "Boats & nets");

    Write(view, settings, false);
    QByteArray written;
    ASSERT_EQ(PropertyList::Write(settings, written), noErr);
    EXPECT_EQ(QString::fromUtf8(written), QString::fromUtf8(file));
}

TEST_F(IndexViewSettings, TheSortOrderAndKeyComeBackAndOrderTheItems)
{
    Fill(view, { "b.jpg", "c.jpg", "a.jpg" });
    view->SetSortKey(4001, true);
    ASSERT_EQ(Names(view), (QStringList { "c.jpg", "b.jpg", "a.jpg" }));
    QVariantMap settings;
    Write(view, settings, false);

    StandaloneIndexView reopenedIndex = MakeView();
    CIndexView* reopened = reopenedIndex.get();
    Fill(reopened, { "a.jpg", "c.jpg", "b.jpg" });
    Read(reopened, settings, false);
    reopened->FinishReading();
    EXPECT_EQ(reopened->GetSortOrder(), 1);
    EXPECT_EQ(Names(reopened), (QStringList { "c.jpg", "b.jpg", "a.jpg" }));
    // A new item takes its place in the descending order.
    reopened->InsertItem(new CIndexItem(QUrl("http://example.org/bb.jpg")), kInsertAtEnd, false, true);
    EXPECT_EQ(Names(reopened), (QStringList { "c.jpg", "bb.jpg", "b.jpg", "a.jpg" }));
}

TEST_F(IndexViewSettings, MissingStorageKeysClearTheFlagsButMissingOpenKeysLeaveTheirs)
{
    view->SetFlags(kViewStoreMediaFile | kViewRemoveMediaFile | kViewShowCommentOnOpen | kViewOpenFirstItemOnOpen);
    Read(view, { { "IndexShowInfoOnOpen", false } }, false);
    EXPECT_FALSE(view->TestFlags(kViewStoreMediaFile));
    EXPECT_FALSE(view->TestFlags(kViewRemoveMediaFile));
    // False never clears an open option; it only sets.
    EXPECT_TRUE(view->TestFlags(kViewShowCommentOnOpen));
    EXPECT_TRUE(view->TestFlags(kViewOpenFirstItemOnOpen));
}

TEST_F(IndexViewSettings, WithoutOpenOptionsFullScreenAndOpenFlagsAreNotTurnedOn)
{
    const QVariantMap settings { { "IndexFullScreen", true }, { "IndexShowInfoOnOpen", true },
        { "IndexShowSlideShowOnOpen", true } };
    Read(view, settings, true);
    EXPECT_FALSE(view->IsFullScreen());
    EXPECT_FALSE(view->TestFlags(kViewShowCommentOnOpen | kViewOpenFirstItemOnOpen));
    Read(view, settings, false);
    EXPECT_TRUE(view->IsFullScreen());
    EXPECT_TRUE(view->TestFlags(kViewShowCommentOnOpen));
    EXPECT_TRUE(view->TestFlags(kViewOpenFirstItemOnOpen));
}

TEST_F(IndexViewSettings, LongTextsAreCutAndKeysOfTheWrongTypeAreSkipped)
{
    Ear ear;
    view->AddListener(&ear);
    view->SetComment("before");
    const QVariantMap settings { { "Comment", QString(6000, 'c') }, { "URL", "http://x/" + QString(600, 'u') },
        { "DefaultIndexTheme_6", "twelve" }, { "DefaultThumbnailViewSize ", true } };
    const SInt32 theme = view->GetTheme();
    Read(view, settings, false);
    EXPECT_EQ(view->GetComment().size(), 5000);
    EXPECT_EQ(view->GetIndexURLText().size(), 500);
    EXPECT_EQ(view->GetTheme(), theme);
    EXPECT_EQ(view->GetThumbnailSize(), 160);
    // Reading ends by telling the placard and the panes.
    ASSERT_FALSE(ear.heard.empty());
    EXPECT_EQ(ear.heard.back(), msg_ViewFrameChanged);
}

TEST_F(IndexViewSettings, AColumnListWithAnEntryThatIsNoNumberFailsAndLeavesTheList)
{
    const std::vector<SInt32> before = view->GetColumns(kThumbnailViewMode);
    try {
        Read(view, { { "ThumbnailViewColumns", QVariantList { Int(4001), "name" } } }, false);
        FAIL() << "no error for a column that is no number";
    } catch (const ExceptionCode& e) {
        EXPECT_EQ(e.Code(), err_NilPointer);
    }
    EXPECT_EQ(view->GetColumns(kThumbnailViewMode), before);
}

TEST_F(IndexViewSettings, SizesAreClampedToWhatTheFrameHolds)
{
    Read(view, { { "DefaultThumbnailViewSize ", Int(10) } }, false);
    EXPECT_EQ(view->GetThumbnailSize(), 32);
    Read(view, { { "DefaultThumbnailViewSize ", Int(5000) } }, false);
    EXPECT_EQ(view->GetThumbnailSize(), view->GetMaxThumbnailSize());
    EXPECT_LT(view->GetMaxThumbnailSize(), 600);
}

// --- Columns ---------------------------------------------------------------------------------------------

TEST_F(IndexViewSettings, ColumnsAreAddedAndRemovedInTheCurrentModesListOnly)
{
    view->ClearColumns();
    view->AddColumn(4001);
    view->AddColumn(6020);
    EXPECT_TRUE(view->HasColumn(6020));
    view->RemoveColumn(4001);
    EXPECT_EQ(view->GetColumns(kThumbnailViewMode), (std::vector<SInt32> { 6020 }));
    EXPECT_FALSE(view->GetColumns(kExtendedViewMode).empty());
    view->LoadColumns(kExtendedViewMode, { Int(4004) });
    EXPECT_EQ(view->GetViewMode(), kThumbnailViewMode); // loading another mode's list does not switch
    EXPECT_FALSE(view->HasColumn(4004));
}

// --- Defaults ----------------------------------------------------------------------------------------------

TEST_F(IndexViewSettings, DefaultsAreSavedAndANewOrResetViewTakesThem)
{
    view->SetThumbnailSize(180, false);
    view->LoadColumns(kThumbnailViewMode, { Int(4001), Int(4004) });
    view->LoadColumns(kExtendedViewMode, { Int(6001) });
    view->SetTheme(5, false);
    view->SetFullScreen(true); // the theme before full screen is the one kept
    view->GetModel().SaveSettingsAsDefaults();
    EXPECT_EQ(GetPrefNumber("DefaultThumbnailViewSize "), 180);
    EXPECT_EQ(GetPrefNumber("DefaultIndexTheme_6"), 5);
    EXPECT_TRUE(GetPrefBoolean("IndexFullScreen"));
    EXPECT_EQ(CopyPrefValue("ThumbnailViewColumns").toList(), (QVariantList { Int(4001), Int(4004) }));

    StandaloneIndexView fresh = MakeView();
    EXPECT_EQ(fresh->GetThumbnailSize(), 180);
    EXPECT_EQ(fresh->GetTheme(), 5);
    EXPECT_EQ(fresh->GetColumns(kExtendedViewMode), (std::vector<SInt32> { 6001 }));

    // Reset: the items go, the defaults come back, the old index's texts and password go.
    SetPrefBoolean("IndexStoreMediaFile", true);
    Fill(view, { "a.jpg", "b.jpg" });
    view->SetComment("old index");
    view->SetPassword("secret");
    view->SetKeepPasswordInKeychain(true);
    view->SetTheme(2, false);
    view->LoadColumns(kThumbnailViewMode, { Int(6020) });
    Reset(view);
    EXPECT_EQ(view->CountAllItems(), 0);
    EXPECT_EQ(view->GetColumns(kThumbnailViewMode), (std::vector<SInt32> { 4001, 4004 }));
    // Full screen still shows its own theme; the index's is the default, shown once it ends.
    EXPECT_EQ(view->GetTheme(), kFullScreenTheme);
    EXPECT_EQ(view->GetSavedTheme(), 5);
    view->SetFullScreen(false);
    EXPECT_EQ(view->GetTheme(), 5);
    EXPECT_TRUE(view->TestFlags(kViewStoreMediaFile));
    EXPECT_TRUE(view->GetComment().isEmpty());
    EXPECT_FALSE(view->HasPassword());
    EXPECT_FALSE(view->GetKeepPasswordInKeychain());
}

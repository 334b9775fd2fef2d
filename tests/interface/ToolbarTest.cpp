#include "CIndexToolbar.h"
#include "CToolbarCustomizeDialog.h"
#include "ExceptionCode.h"
#include "InterfaceTestSupport.h"
#include "LMenuBar.h"
#include "PreferenceDomain.h"
#include "Preferences.h"

#include "DrawnText.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QStyle>
#include <QMenu>
#include <QPainter>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QWidgetAction>

namespace {

QString Cmd(CommandT command)
{
    return CToolbar::CopyIdentifierForCommand(command);
}

const QString kSpace = kToolbarSpaceIdentifier;
const QString kFlexible = kToolbarFlexibleSpaceIdentifier;
const QString kSeparator = kToolbarSeparatorIdentifier;

// A batch setting of "BatchSettings_6"; sourceKind 0 leaves the key out.
QVariantMap Batch(int sourceKind)
{
    QVariantMap batch;
    batch.insert(QStringLiteral("Name"), QStringLiteral("batch"));
    if (sourceKind != 0)
        batch.insert(QStringLiteral("SourceKind"), sourceKind);
    return batch;
}

void SetBatches(int count, int sourceKind = 9001)
{
    QVariantList batches;
    for (int i = 0; i < count; ++i)
        batches.append(Batch(sourceKind));
    SetPrefValue(QStringLiteral("BatchSettings_6"), batches);
}

// A window that records the commands reaching it and enables what it is told.
class CommandWindow : public LWindow {
public:
    CommandWindow()
        : LWindow(WindowInfo(20, 20, 700, 300), kRegularWindowAttributes, QStringLiteral("Index"), nullptr)
    {
    }
    bool ObeyCommand(CommandT command, void* ioParam) override
    {
        obeyed.push_back(command);
        return command == 1057 || LWindow::ObeyCommand(command, ioParam);
    }
    void FindCommandStatus(CommandT command, Boolean& outEnabled, Boolean& outUsesMark, UInt16& outMark, Str255& outName) override
    {
        if (enabled.contains(command)) {
            outEnabled = true;
            outUsesMark = marked.contains(command);
            outMark = marked.contains(command) ? checkMark : noMark;
            return;
        }
        LWindow::FindCommandStatus(command, outEnabled, outUsesMark, outMark, outName);
    }
    std::vector<CommandT> obeyed;
    QList<CommandT> enabled;
    QList<CommandT> marked;
};

struct SearchRecorder : ToolbarSearchClient {
    void StartQuickSearch(SInt32 fieldKey, const QString& text) override { searches.append({ fieldKey, text }); }
    void ShowAllItems(bool refresh) override { showAll.append(refresh); }
    QList<QPair<SInt32, QString>> searches;
    QList<bool> showAll;
};

struct ToolbarFixture : ::testing::Test {
    static void SetUpTestSuite() { UseFixtureMenuBar(); }
    void SetUp() override
    {
        for (const QString& key : { kIndexToolbarIdentifier, kMediaToolbarIdentifier, QStringLiteral("IndexToolbarConfigured"),
                 QStringLiteral("MediaToolbarConfigured"), QStringLiteral("MediaToolbarVisible") })
            SetPrefValue(key, QVariant());
        SetBatches(8);
        window = new CommandWindow;
        window->Show();
    }
    void TearDown() override
    {
        delete window; // the toolbar is its subcommander and goes with it
        FlushDeletes();
    }
    template <typename T>
    T* MakeToolbar(const QString& identifier)
    {
        auto* toolbar = new T;
        toolbar->Create(identifier, window, toolbarAttr_Configurable | toolbarAttr_AutoSavesConfig);
        return toolbar;
    }
    QStringList BarIdentifiers(CToolbar* toolbar) const
    {
        QStringList identifiers;
        for (QAction* action : toolbar->GetToolbarRef()->actions())
            identifiers.append(action->property("orvexIdentifier").toString());
        return identifiers;
    }
    CommandWindow* window = nullptr;
};

TEST(ToolbarIdentifiers, CommandsRoundTripThroughTheirIdentifiers)
{
    EXPECT_EQ(kIndexToolbarIdentifier, QStringLiteral("org.orvex.indextoolbar7"));
    EXPECT_EQ(kMediaToolbarIdentifier, QStringLiteral("org.orvex.mediatoolbar7"));
    EXPECT_EQ(CToolbar::CopyIdentifierForCommand(1057), QStringLiteral("org.orvex.orvextoolbar.1057"));
    EXPECT_EQ(CToolbar::CommandForIdentifier(QStringLiteral("org.orvex.orvextoolbar.1057")), 1057);
    EXPECT_EQ(CToolbar::CommandForIdentifier(QStringLiteral("org.orvex.orvextoolbar.9507")), 9507);
    EXPECT_EQ(CToolbar::CommandForIdentifier(kViewSelectorIdentifier), 0);
    EXPECT_EQ(CToolbar::CommandForIdentifier(QStringLiteral("com.other.orvextoolbar.1057")), 0);
    EXPECT_EQ(CToolbar::CommandForIdentifier(QStringLiteral("org.orvex.orvextoolbar.")), 0);
    EXPECT_EQ(CToolbar::CommandForIdentifier(kToolbarSpaceIdentifier), 0);
}

TEST_F(ToolbarFixture, IndexToolbarIsBuiltFromTheDefaultSetInOrder)
{
    CIndexToolbar* toolbar = MakeToolbar<CIndexToolbar>(kIndexToolbarIdentifier);
    const QStringList expected = { kSpace, kBrowserSelectorIdentifier, kViewSelectorIdentifier, kSpace, Cmd(1057), Cmd(1061),
        Cmd(1012), Cmd(1068), kSpace, Cmd(1010), Cmd(1033), Cmd(1016), Cmd(9507), Cmd(1058), Cmd(1028), kFlexible,
        kSearchFieldIdentifier, kSpace };
    EXPECT_EQ(toolbar->GetItemIdentifiers(), expected);
    EXPECT_EQ(BarIdentifiers(toolbar), expected);
    EXPECT_EQ(toolbar->GetToolbarRef()->objectName(), kIndexToolbarIdentifier);
    EXPECT_TRUE(toolbar->IsVisible());
    EXPECT_EQ(window->GetToolBar(), toolbar->GetToolbarRef());

    // Labels: from the table, else the menu item's text without its ellipsis.
    EXPECT_EQ(toolbar->FindItem(Cmd(1012))->text(), QStringLiteral("Slideshow"));
    EXPECT_EQ(toolbar->FindItem(Cmd(1057))->text(), QStringLiteral("Find"));
    EXPECT_EQ(toolbar->FindItem(Cmd(1061))->text(), QStringLiteral("Batch Change"));
    EXPECT_EQ(toolbar->FindItem(Cmd(9507))->text(), QStringLiteral("Collect in New Index"));
    EXPECT_FALSE(toolbar->FindItem(Cmd(1028))->icon().isNull());
}

TEST_F(ToolbarFixture, DefaultSetsLeaveOutSavedBatchesThatDoNotExist)
{
    SetBatches(3);
    CIndexToolbar* index = MakeToolbar<CIndexToolbar>(kIndexToolbarIdentifier);
    EXPECT_FALSE(index->GetItemIdentifiers().contains(Cmd(9507)));
    EXPECT_EQ(index->GetItemIdentifiers().indexOf(Cmd(1058)), index->GetItemIdentifiers().indexOf(Cmd(1016)) + 1);

    CMediaToolbar media;
    QStringList defaults;
    media.CopyDefaultIdentifiers(defaults);
    // Without 9506 and 9507 their separators do not pile up.
    const QStringList expected = { Cmd(1079), Cmd(1046), Cmd(1077), kSeparator, Cmd(1010), Cmd(1016), Cmd(1033),
        kToolbarPrintIdentifier, kSeparator, Cmd(1068), kSeparator, Cmd(1069), Cmd(1070), kFlexible, Cmd(1028) };
    EXPECT_EQ(defaults, expected);

    SetBatches(8);
    defaults.clear();
    media.CopyDefaultIdentifiers(defaults);
    EXPECT_EQ(defaults.mid(8, 4), (QStringList { kSeparator, Cmd(9506), Cmd(9507), kSeparator }));
}

TEST_F(ToolbarFixture, AllowedSetsTakeSavedSettingsFromTheirMenu)
{
    CIndexToolbar index;
    QStringList allowed;
    index.CopyAllowedIdentifiers(allowed);
    EXPECT_EQ(allowed.first(), Cmd(1079));
    EXPECT_EQ(allowed.mid(1, 3), (QStringList { kViewSelectorIdentifier, kBrowserSelectorIdentifier, kSearchFieldIdentifier }));
    int saved = allowed.indexOf(Cmd(1059)) + 1;
    // The menu's last item, a script, is offered too.
    EXPECT_EQ(allowed.mid(saved, 6), (QStringList { Cmd(9000), Cmd(9500), Cmd(9501), Cmd(9506), Cmd(9507), Cmd(-4099) }));
    EXPECT_EQ(allowed.mid(saved + 6), (QStringList { kSeparator, kSpace, kFlexible, kToolbarCustomizeIdentifier }));

    // The media set: each command once; only batches that work on media files.
    QVariantList batches = { Batch(9001), Batch(9002), Batch(0), Batch(9001), Batch(9001), Batch(9001), Batch(9001), Batch(9002) };
    SetPrefValue(QStringLiteral("BatchSettings_6"), batches);
    CMediaToolbar media;
    allowed.clear();
    media.CopyAllowedIdentifiers(allowed);
    EXPECT_EQ(allowed.count(Cmd(15)), 1);
    EXPECT_EQ(allowed.count(Cmd(1046)), 1);
    saved = allowed.indexOf(kToolbarPrintIdentifier) + 1;
    EXPECT_EQ(allowed.mid(saved), (QStringList { Cmd(9500), Cmd(9506), kSeparator, kSpace, kFlexible, kToolbarCustomizeIdentifier }));
}

TEST_F(ToolbarFixture, ItemsOfCommandsWithoutAMenuItemFailOrAreLeftOut)
{
    CIndexToolbar* toolbar = MakeToolbar<CIndexToolbar>(kIndexToolbarIdentifier);
    try {
        delete toolbar->CreateItemForCommand(Cmd(4242));
        FAIL() << "an item was made for a command in no menu";
    } catch (const ExceptionCode& e) {
        EXPECT_EQ(e.Code(), OSStatus('asrt'));
    }
    toolbar->SetItemIdentifiers({ Cmd(1057), Cmd(4242), Cmd(1061) });
    EXPECT_EQ(BarIdentifiers(toolbar), (QStringList { Cmd(1057), Cmd(1061) }));
    EXPECT_EQ(toolbar->GetItemIdentifiers().size(), 3); // kept for when it comes back
    EXPECT_EQ(toolbar->CreateItemForCommand(QStringLiteral("org.orvex.unknown")), nullptr);
}

TEST_F(ToolbarFixture, ItemImagesFallBackByCommandRange)
{
    CIndexToolbar* toolbar = MakeToolbar<CIndexToolbar>(kIndexToolbarIdentifier);
    QAction item;
    auto imageOf = [&](CommandT command) {
        toolbar->SetItemImageForCommand(&item, command);
        return item.icon().pixmap(32, 32).toImage();
    };
    QImage search = CToolbar::ToolbarImage(QStringLiteral("genericsearch.png")).toImage();
    QImage batch = CToolbar::ToolbarImage(QStringLiteral("genericbatch.png")).toImage();
    QImage generic = CToolbar::ToolbarImage(QStringLiteral("generic.png")).toImage();
    ASSERT_FALSE(search.isNull());
    EXPECT_EQ(imageOf(9001), search.convertToFormat(imageOf(9001).format()));
    EXPECT_EQ(imageOf(9499), search.convertToFormat(imageOf(9499).format()));
    EXPECT_EQ(imageOf(9500), batch.convertToFormat(imageOf(9500).format()));
    EXPECT_EQ(imageOf(4242), generic.convertToFormat(imageOf(4242).format()));
    EXPECT_NE(imageOf(1057), generic.convertToFormat(imageOf(1057).format())); // its own picture
}

TEST_F(ToolbarFixture, CommandStatusEnablesItemsAndTurnsTheSelectors)
{
    CIndexToolbar* toolbar = MakeToolbar<CIndexToolbar>(kIndexToolbarIdentifier);
    toolbar->UpdateCommandStatus(1057, false, false);
    EXPECT_FALSE(toolbar->FindItem(Cmd(1057))->isEnabled());
    toolbar->UpdateCommandStatus(1057, true, false);
    EXPECT_TRUE(toolbar->FindItem(Cmd(1057))->isEnabled());
    toolbar->UpdateCommandStatus(4242, true, false); // no such item: nothing happens

    toolbar->UpdateCommandStatus(1019, true, true);
    EXPECT_EQ(toolbar->GetViewSelectorImage(), QStringLiteral("1019.png"));
    toolbar->UpdateCommandStatus(1082, true, false); // not marked: the image stays
    EXPECT_EQ(toolbar->GetViewSelectorImage(), QStringLiteral("1019.png"));
    const std::pair<CommandT, const char*> browser[] = { { 1008, "1092.png" }, { 1009, "1091.png" }, { 1013, "1090.png" }, { 1014, "1093.png" } };
    for (auto [command, image] : browser) {
        toolbar->UpdateCommandStatus(command, true, true);
        EXPECT_EQ(toolbar->GetBrowserSelectorImage(), QString::fromLatin1(image));
    }

    // From the commander chain: only what the window enables.
    window->enabled = { 1057, 1083 };
    window->marked = { 1083 };
    toolbar->UpdateAllCommandStatus();
    EXPECT_TRUE(toolbar->FindItem(Cmd(1057))->isEnabled());
    EXPECT_FALSE(toolbar->FindItem(Cmd(1061))->isEnabled());
    EXPECT_EQ(toolbar->GetViewSelectorImage(), QStringLiteral("1083.png"));
}

TEST_F(ToolbarFixture, SelectorsSendTheirCommandByWhereTheyAreClicked)
{
    CIndexToolbar* toolbar = MakeToolbar<CIndexToolbar>(kIndexToolbarIdentifier);
    QWidget* view = toolbar->GetToolbarRef()->findChild<QWidget*>(QStringLiteral("viewselector"));
    QWidget* browser = toolbar->GetToolbarRef()->findChild<QWidget*>(QStringLiteral("browserselector"));
    ASSERT_NE(view, nullptr);
    ASSERT_NE(browser, nullptr);
    EXPECT_EQ(view->size(), QSize(83, 25));
    EXPECT_EQ(browser->size(), QSize(56, 25));
    for (int x : { 26, 27, 53, 54 })
        QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(x, 12));
    for (int x : { 26, 27 })
        QTest::mouseClick(browser, Qt::LeftButton, {}, QPoint(x, 12));
    ProcessEventsFor(20);
    EXPECT_EQ(window->obeyed, (std::vector<CommandT> { 1083, 1019, 1019, 1082, 1009, 1008 }));
    EXPECT_EQ(toolbar->GetViewSelectorImage(), QStringLiteral("1082.png"));
    EXPECT_EQ(toolbar->GetBrowserSelectorImage(), QStringLiteral("1090.png"));

    // A command item sends its command when clicked.
    window->obeyed.clear();
    toolbar->FindItem(Cmd(1061))->trigger(); // disabled: the window does not enable it
    EXPECT_TRUE(window->obeyed.empty());
    window->enabled = { 1061 };
    toolbar->UpdateAllCommandStatus();
    toolbar->FindItem(Cmd(1061))->trigger();
    EXPECT_EQ(window->obeyed, (std::vector<CommandT> { 1061 }));
}

TEST_F(ToolbarFixture, SearchFieldSearchesAndShowsAllWhenCancelled)
{
    CIndexToolbar* toolbar = MakeToolbar<CIndexToolbar>(kIndexToolbarIdentifier);
    SearchRecorder recorder;
    toolbar->SetSearchClient(&recorder);
    QLineEdit* field = toolbar->GetSearchField();
    ASSERT_NE(field, nullptr);
    EXPECT_GE(field->minimumWidth(), 72);
    EXPECT_LE(field->maximumWidth(), 240);
    toolbar->Hide();
    toolbar->FocusSearchField();
    EXPECT_TRUE(toolbar->IsVisible()); // shown to take the focus

    QTest::keyClicks(field, QStringLiteral("harbour"));
    QTest::keyClick(field, Qt::Key_Return);
    ASSERT_EQ(recorder.searches.size(), 1);
    EXPECT_EQ(recorder.searches[0], (QPair<SInt32, QString>(4001, QStringLiteral("harbour"))));

    QAction* cancel = field->findChild<QAction*>(QStringLiteral("cancel"));
    ASSERT_NE(cancel, nullptr);
    EXPECT_TRUE(cancel->isVisible());
    // Its icon, made only once it shows, is the style's clear icon.
    EXPECT_EQ(cancel->icon().pixmap(16).toImage(),
        field->style()->standardIcon(QStyle::SP_LineEditClearButton).pixmap(16).toImage());
    cancel->trigger();
    EXPECT_EQ(recorder.showAll, QList<bool> { true });
    EXPECT_TRUE(field->text().isEmpty());
    EXPECT_FALSE(cancel->isVisible());
}

TEST_F(ToolbarFixture, ShowingAndHidingChangesTheWindowNotItsContent)
{
    CIndexToolbar* toolbar = MakeToolbar<CIndexToolbar>(kIndexToolbarIdentifier);
    QSize content = window->size();
    int withBar = window->GetShell()->height();
    toolbar->Hide();
    EXPECT_FALSE(toolbar->IsVisible());
    EXPECT_EQ(window->size(), content);
    EXPECT_EQ(window->GetShell()->height(), withBar - toolbar->GetToolbarRef()->sizeHint().height());
    toolbar->Show();
    EXPECT_EQ(window->GetShell()->height(), withBar);
    EXPECT_EQ(window->size(), content);
}

TEST_F(ToolbarFixture, TheBarsMenuShowsItsItemsAsTheyAreWritten)
{
    CIndexToolbar* toolbar = MakeToolbar<CIndexToolbar>(kIndexToolbarIdentifier);
    QToolBar* bar = toolbar->GetToolbarRef();
    QStringList shown;
    // The menu of a right click on the bar, read as it draws, then put away.
    QTimer::singleShot(0, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu)
            return;
        menu->adjustSize();
        shown = TextsDrawnBy(menu->size(), [&](QPainter& painter) { menu->render(&painter); });
        menu->close();
    });
    emit bar->customContextMenuRequested(QPoint(4, 4));
    EXPECT_TRUE(shown.contains(QStringLiteral("Icon & Text"))) << shown.join(" | ").toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral("Icon Only"))) << shown.join(" | ").toStdString();
}

TEST_F(ToolbarFixture, FirstUseSetsTheModesOnce)
{
    CIndexToolbar* index = MakeToolbar<CIndexToolbar>(kIndexToolbarIdentifier);
    EXPECT_EQ(index->GetDisplayMode(), toolbarDisplay_IconAndLabel);
    EXPECT_EQ(index->GetSizeMode(), toolbarSize_Small);
    EXPECT_EQ(index->GetToolbarRef()->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
    EXPECT_TRUE(GetPrefBoolean(QStringLiteral("IndexToolbarConfigured")));
    index->SetDisplayMode(toolbarDisplay_IconOnly);
    delete index;

    // Configured already: the user's choice stays.
    CIndexToolbar* again = MakeToolbar<CIndexToolbar>(kIndexToolbarIdentifier);
    EXPECT_EQ(again->GetDisplayMode(), toolbarDisplay_IconOnly);
    EXPECT_EQ(again->GetToolbarRef()->toolButtonStyle(), Qt::ToolButtonIconOnly);
}

TEST_F(ToolbarFixture, MediaToolbarKeepsItsVisibility)
{
    SetPrefBoolean(QStringLiteral("MediaToolbarVisible"), false);
    CMediaToolbar* media = MakeToolbar<CMediaToolbar>(kMediaToolbarIdentifier);
    EXPECT_FALSE(media->IsVisible());
    EXPECT_EQ(media->GetSizeMode(), toolbarSize_Small);
    media->Show();
    delete media;
    EXPECT_TRUE(GetPrefBoolean(QStringLiteral("MediaToolbarVisible")));
}

TEST_F(ToolbarFixture, CustomisationIsSavedAndRestoredAcrossAReload)
{
    CIndexToolbar* toolbar = MakeToolbar<CIndexToolbar>(kIndexToolbarIdentifier);
    CToolbarCustomizeDialog dialog(toolbar);
    EXPECT_EQ(dialog.ItemIdentifiers(), toolbar->GetItemIdentifiers());
    QStringList allowed;
    toolbar->CopyAllowedIdentifiers(allowed);
    EXPECT_EQ(dialog.AllowedIdentifiers(), allowed);

    dialog.RestoreDefaultSet();
    dialog.RemoveItem(0);
    dialog.AddItem(Cmd(1036), 0);
    dialog.AddItem(kSpace, 1);
    dialog.AddItem(Cmd(1057)); // already there: moves to the end
    dialog.MoveItem(0, 2);
    QStringList chosen = dialog.ItemIdentifiers();
    EXPECT_EQ(chosen.count(Cmd(1057)), 1);
    EXPECT_EQ(chosen.last(), Cmd(1057));
    EXPECT_EQ(chosen.mid(0, 3), (QStringList { kSpace, kBrowserSelectorIdentifier, Cmd(1036) }));
    EXPECT_EQ(chosen.count(kSpace), 4);

    toolbar->SetItemIdentifiers(chosen);
    toolbar->SetDisplayMode(toolbarDisplay_LabelOnly);
    toolbar->SetSizeMode(toolbarSize_Normal);
    ASSERT_EQ(PreferenceDomain::Application().Synchronize(), noErr);
    delete toolbar;
    ASSERT_EQ(PreferenceDomain::Application().Reload(), noErr);

    CIndexToolbar* reloaded = MakeToolbar<CIndexToolbar>(kIndexToolbarIdentifier);
    EXPECT_EQ(reloaded->GetItemIdentifiers(), chosen);
    EXPECT_EQ(BarIdentifiers(reloaded), chosen);
    EXPECT_EQ(reloaded->GetDisplayMode(), toolbarDisplay_LabelOnly);
    EXPECT_EQ(reloaded->GetSizeMode(), toolbarSize_Normal);
    EXPECT_EQ(reloaded->GetToolbarRef()->iconSize(), QSize(32, 32));
}

TEST_F(ToolbarFixture, ToolbarWindowRendersOffscreen)
{
    window->ResizeFrameBy(1085 - window->width(), 0, false); // an index window's default width
    window->enabled = { 1057, 1061, 1012, 1068, 1010, 1016, 9507, 1058, 1028 };
    CIndexToolbar* toolbar = MakeToolbar<CIndexToolbar>(kIndexToolbarIdentifier);
    toolbar->UpdateCommandStatus(1019, true, true);
    toolbar->UpdateCommandStatus(1014, true, true);
    ProcessEventsFor(20);
    QImage image = window->GetShell()->grab().toImage();
    ASSERT_FALSE(image.isNull());
    image.save(TestTempDir() + QStringLiteral("/index-toolbar.png"));
    if (qEnvironmentVariableIsSet("ORVEX_SAVE_RENDERS"))
        image.save(qEnvironmentVariable("ORVEX_SAVE_RENDERS") + QStringLiteral("/index-toolbar.png"));
    CToolbarCustomizeDialog dialog(toolbar);
    dialog.resize(760, 460);
    QImage dialogImage = dialog.grab().toImage();
    EXPECT_FALSE(dialogImage.isNull());
    if (qEnvironmentVariableIsSet("ORVEX_SAVE_RENDERS"))
        dialogImage.save(qEnvironmentVariable("ORVEX_SAVE_RENDERS") + QStringLiteral("/toolbar-customize.png"));
    // The bar is drawn above the content: not one flat colour.
    QImage bar = image.copy(0, 0, image.width(), toolbar->GetToolbarRef()->height());
    QSet<QRgb> colours;
    for (int x = 0; x < bar.width(); x += 3)
        colours.insert(bar.pixel(x, bar.height() / 2));
    EXPECT_GT(colours.size(), 10);
}

} // namespace

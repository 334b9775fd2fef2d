#include "AppTestSupport.h"
#include "CIndexDoc.h"
#include "CIndexItem.h"
#include "CIndexView.h"
#include "CMediaWindow.h"
#include "CPreferencesWindow.h"
#include "ItemWindows.h"
#include "LStdControls.h"
#include "PreferenceDomain.h"
#include "Preferences.h"
#include "TestSupport.h"
#include "UEvents.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QTest>

#include <memory>
#include <QFile>

namespace {

// The preferences dialog over the real preference store of the test's folder.
class PreferencesWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        COrvexApp::RegisterClasses();
        SetPrefNumber(QStringLiteral("PreferencesLastTab"), 2000);
    }
    void TearDown() override
    {
        if (CPreferencesWindow* window = CPreferencesWindow::GetPreferencesWindow())
            window->DoClose();
        FlushDeletes();
    }
    CPreferencesWindow* Open(SInt32 tab)
    {
        CPreferencesWindow* window = CPreferencesWindow::ShowPreferencesWindow(nullptr);
        Tabs(window)->SetValue(tab);
        return window;
    }
    static LControl* Tabs(CPreferencesWindow* window) { return dynamic_cast<LControl*>(window->FindPaneByID('SMPT')); }
    static SInt32 TabOf(ResIDT panel)
    {
        for (SInt32 tab = 1; tab <= 6; ++tab) {
            if (CPreferencesWindow::PanelForTab(tab) == panel)
                return tab;
        }
        return 0;
    }
    static void Type(CPreferencesWindow* window, PaneIDT pane, const QString& text)
    {
        LPane* field = window->FindPanelPane(pane);
        ASSERT_NE(field, nullptr) << pane;
        field->SetCFDescriptor(text);
    }
    static void Press(CPreferencesWindow* window, UInt8 character, UInt8 keyCode)
    {
        EventRecord event;
        event.what = keyDown;
        event.message = UInt32(keyCode) << 8 | character;
        window->HandleKeyPress(event);
    }
    static QByteArray PreferenceFile() { return ReadWholeFile(PreferenceDomain::ApplicationDomainPath()); }
};

TEST_F(PreferencesWindowTest, EveryPanelShowsItsKeysAndWritesThemBack)
{
    // Each key set away from its default, the panel opened and left again: every
    // control exists, shows the value and gives it back unchanged.
    for (const PrefPaneBinding& binding : PreferenceBindings()) {
        const QString key = QString::fromLatin1(binding.key);
        if (binding.kind == EPrefBinding::Boolean)
            SetPrefBoolean(key, !GetPrefBoolean(key));
        else if (binding.kind == EPrefBinding::Number)
            SetPrefNumber(key, binding.max > binding.min + 1 ? binding.min + 1 : binding.min);
    }
    QVariantMap before = PreferenceDomain::Application().Values();
    for (ResIDT panel : { 2000, 2001, 2002, 2004, 2005, 2006 }) {
        CPreferencesWindow* window = Open(TabOf(panel));
        ASSERT_EQ(window->GetPanelID(), panel);
        for (const PrefPaneBinding& binding : PreferenceBindings()) {
            if (binding.panel != panel)
                continue;
            LPane* pane = window->FindPanelPane(binding.pane);
            ASSERT_NE(pane, nullptr) << binding.key << " has no pane " << binding.pane << " in " << panel;
            if (binding.kind == EPrefBinding::Boolean) {
                EXPECT_NE(dynamic_cast<LStdCheckBox*>(pane), nullptr) << binding.key;
                EXPECT_EQ(pane->GetValue() != 0, GetPrefBoolean(QString::fromLatin1(binding.key))) << binding.key;
            }
        }
        Tabs(window)->SetValue(TabOf(panel) == 1 ? 2 : 1); // leaving saves
    }
    CPreferencesWindow::GetPreferencesWindow()->SavePanelValues();
    before.remove(QStringLiteral("PreferencesLastTab"));
    QVariantMap after = PreferenceDomain::Application().Values();
    after.remove(QStringLiteral("PreferencesLastTab"));
    for (auto it = before.cbegin(); it != before.cend(); ++it)
        EXPECT_EQ(after.value(it.key()), it.value()) << it.key().toStdString();
}

TEST_F(PreferencesWindowTest, SpecialEncodingsGoBothWays)
{
    // "MediaViewQuality": the box on means the faster drawing, 0.
    SetPrefNumber(QStringLiteral("MediaViewQuality"), 0x400);
    CPreferencesWindow* window = Open(3);
    EXPECT_EQ(window->FindPanelPane(4007)->GetValue(), 0);
    window->FindPanelPane(4007)->SetValue(1);
    window->SavePanelValues();
    EXPECT_EQ(GetPrefNumber(QStringLiteral("MediaViewQuality")), 0);

    // The background: a pattern by its name, the plain colour as 1.
    SetPrefNumber(QStringLiteral("MediaPatternID"), 135);
    window->LoadPanelValues();
    auto* pattern = dynamic_cast<LStdPopupMenu*>(window->FindPanelPane(2004));
    EXPECT_EQ(pattern->GetItems().value(pattern->GetValue() - 1), QStringLiteral("Sage"));
    pattern->SetValue(1);
    window->SavePanelValues();
    EXPECT_EQ(GetPrefNumber(QStringLiteral("MediaPatternID")), 1);

    // Pane 4021 sets two keys.
    Tabs(window)->SetValue(6);
    struct Source {
        SInt32 popup;
        bool useEmbedded, enlarge;
    };
    for (const Source& source : { Source { 1, true, true }, Source { 2, true, false }, Source { 3, false, false } }) {
        window->FindPanelPane(4021)->SetValue(source.popup);
        window->SavePanelValues();
        EXPECT_EQ(GetPrefBoolean(QStringLiteral("RawUseEmbeddedImage")), source.useEmbedded) << source.popup;
        EXPECT_EQ(GetPrefBoolean(QStringLiteral("RawEnlargeEmbeddedImage")), source.enlarge) << source.popup;
        window->FindPanelPane(4021)->SetValue(source.popup == 1 ? 2 : 1);
        window->LoadPanelValues();
        EXPECT_EQ(window->FindPanelPane(4021)->GetValue(), source.popup);
    }
    SetPrefFloat(QStringLiteral("RawBrightness"), 2.5f);
    window->LoadPanelValues();
    EXPECT_EQ(window->FindPanelPane(4018)->GetCFDescriptor(), QStringLiteral("2.5"));
}

TEST_F(PreferencesWindowTest, EmptyOrAbsurdNumbersKeepTheOldValueOrAreClamped)
{
    struct Case {
        SInt32 tab;
        PaneIDT pane;
        const char* key;
        QString typed;
        double expected; // after the old value 7 (1.5 for the brightness)
    };
    const Case cases[] = {
        { 6, 4018, "RawBrightness", QString(), 1.5 },
        { 6, 4018, "RawBrightness", QStringLiteral("bright"), 1.5 },
        { 6, 4018, "RawBrightness", QStringLiteral("0"), 0.1 },
        { 6, 4018, "RawBrightness", QStringLiteral("1e9"), 10 },
        { 6, 4018, "RawBrightness", QStringLiteral("2,5"), 2.5 },
        { 3, 4001, "SlideShowDelay", QString(), 7 },
        { 3, 4001, "SlideShowDelay", QStringLiteral("0"), 1 },
        { 3, 4001, "SlideShowDelay", QStringLiteral("-40"), 1 },
        { 3, 6007, "MediaImageMaxZoom", QStringLiteral("0"), 100 },
        { 3, 6008, "MediaMovieMaxZoom", QStringLiteral("99999"), 6400 },
        { 4, 5009, "NumberParallelDownloads", QStringLiteral("0"), 1 },
        { 4, 5009, "NumberParallelDownloads", QStringLiteral("999"), 10 },
        { 4, 5009, "NumberParallelDownloads", QStringLiteral("many"), 7 },
    };
    for (const Case& c : cases) {
        const QString key = QString::fromLatin1(c.key);
        const bool isFloat = c.pane == 4018;
        isFloat ? SetPrefFloat(key, 1.5f) : SetPrefNumber(key, 7);
        CPreferencesWindow* window = Open(c.tab);
        window->LoadPanelValues();
        Type(window, c.pane, c.typed);
        EXPECT_NO_THROW(window->SavePanelValues()) << c.key;
        const double stored = isFloat ? double(GetPrefFloat(key)) : double(GetPrefNumber(key));
        EXPECT_NEAR(stored, c.expected, 1e-6) << c.key << " typed \"" << c.typed.toStdString() << '"';
    }
    // A save that met bad text still lets the window close.
    CPreferencesWindow* window = Open(6);
    Type(window, 4018, QString());
    window->SaveAndClose(false);
    FlushDeletes();
    EXPECT_EQ(CPreferencesWindow::GetPreferencesWindow(), nullptr);
}

TEST_F(PreferencesWindowTest, EscapeAndTheCloseBoxWriteTheFileApplyDoesNot)
{
    ASSERT_TRUE(SynchronizePrefs());
    CPreferencesWindow* window = Open(3);
    Type(window, 4001, QStringLiteral("17"));
    const QByteArray written = PreferenceFile();
    window->ListenToMessage(msg_PrefsApply, nullptr);
    EXPECT_EQ(GetPrefNumber(QStringLiteral("SlideShowDelay")), 17);
    EXPECT_EQ(PreferenceFile(), written);
    EXPECT_EQ(CPreferencesWindow::GetPreferencesWindow(), window); // Apply leaves it open

    Press(window, char_Escape, vkey_Escape);
    EXPECT_NE(PreferenceFile(), written);
    EXPECT_TRUE(PreferenceFile().contains("<integer>17</integer>"));
    FlushDeletes();
    EXPECT_EQ(CPreferencesWindow::GetPreferencesWindow(), nullptr);

    // Reopened on the panel left, it closes by its close box, writing at once.
    window = CPreferencesWindow::ShowPreferencesWindow(nullptr);
    EXPECT_EQ(window->GetPanelID(), kViewerPrefsPanel);
    EXPECT_EQ(Tabs(window)->GetValue(), 3);
    EXPECT_EQ(CPreferencesWindow::ShowPreferencesWindow(nullptr), window); // brought forward, not made again
    Type(window, 4001, QStringLiteral("23"));
    window->AttemptClose();
    EXPECT_TRUE(PreferenceFile().contains("<integer>23</integer>"));
}

TEST_F(PreferencesWindowTest, ArrowsMoveBetweenTabsAndEachPanelLooksRight)
{
    CPreferencesWindow* window = Open(1);
    window->GetShell()->grab().save(QStringLiteral(ORVEX_ARTEFACT_DIR "/preferences-1.png"));
    for (SInt32 tab = 2; tab <= 6; ++tab) {
        Press(window, char_RightArrow, vkey_RightArrow);
        EXPECT_EQ(window->GetPanelID(), CPreferencesWindow::PanelForTab(tab));
        window->GetShell()->grab().save(QStringLiteral(ORVEX_ARTEFACT_DIR "/preferences-%1.png").arg(tab));
    }
    Press(window, char_RightArrow, vkey_RightArrow); // no tab after the last
    EXPECT_EQ(Tabs(window)->GetValue(), 6);
    Press(window, char_LeftArrow, vkey_LeftArrow);
    EXPECT_EQ(window->GetPanelID(), kCameraPrefsPanel);
}

// The application's own windows and what reaches every window.
TEST(AppWindows, TheAboutBoxIsMadeOnceAndNamesTheProgram)
{
    TestApp app;
    app.ShowAboutBox();
    LWindow* box = app.GetAboutBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->FindPaneByID(1001)->GetCFDescriptor(), QStringLiteral("Orvex"));
    EXPECT_TRUE(box->FindPaneByID(1004)->GetCFDescriptor().contains(QStringLiteral("0.1")));
    box->GetShell()->grab().save(QStringLiteral(ORVEX_ARTEFACT_DIR "/about.png"));
    app.ObeyCommand(cmd_About, nullptr);
    EXPECT_EQ(app.GetAboutBox(), box);
    box->DoClose();
    FlushDeletes();
    EXPECT_EQ(app.GetAboutBox(), nullptr);
}

// The program with an index of one photograph, shown in the grid.
class IndexOfOnePhoto : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetPrefNumber(QStringLiteral("StartupAction"), 2);
        SetPrefBoolean(QStringLiteral("MediaUseFadeEffect"), false);
        SetPrefNumber(QStringLiteral("MediaPatternID"), 132);
        // An earlier test may have saved the list as the default view.
        SetPrefNumber(QStringLiteral("DefaultIndexView"), 1083);
        app = std::make_unique<COrvexApp>();
        CItemWindows::Install();
        app->MakeMenuBar();
        app->Initialize();
        app->StartUp();
        auto* document = dynamic_cast<CIndexDoc*>(LDocument::GetDocumentList().front());
        ASSERT_NE(document, nullptr);
        document->AddItem(QUrl::fromLocalFile(TestDataPath(QStringLiteral("exif-samples/jpg/Nikon_D70.jpg"))));
        view = dynamic_cast<CIndexView*>(document->GetIndexViewPane());
        QElapsedTimer waited;
        waited.start();
        while ((view->CountItems() == 0 || view->IsBusy()) && waited.elapsed() < 30000)
            ProcessEventsFor(20);
        ASSERT_TRUE(view->GetItemAt(1, item));
    }
    void TearDown() override
    {
        while (!CMediaWindow::GetWindowList().empty())
            CMediaWindow::GetWindowList().front()->DoClose();
        while (!LDocument::GetDocumentList().empty())
            delete LDocument::GetDocumentList().back();
        FlushDeletes();
        app.reset();
    }
    CMediaWindow* OpenInMediaWindow()
    {
        item->OpenInViewer(1, &view->GetModel(), true);
        EXPECT_FALSE(CMediaWindow::GetWindowList().empty());
        ProcessEventsFor(100);
        return CMediaWindow::GetWindowList().empty() ? nullptr : CMediaWindow::GetWindowList().front();
    }

    std::unique_ptr<COrvexApp> app;
    CIndexView* view = nullptr;
    CIndexItem* item = nullptr;
};

TEST_F(IndexOfOnePhoto, ADoubleClickAndReturnInTheGridOpenTheItemOverItsIndex)
{
    ASSERT_TRUE(CMediaWindow::GetWindowList().empty());
    // A double-click and Return open a window (the preferences panels' tests may have changed that).
    SetPrefNumber(QStringLiteral("DoubleClickAction"), 1);
    SetPrefNumber(QStringLiteral("ActionKeyAction"), 1);
    view->SetFullScreen(false);
    // The application listens to the view, which only tells what is to be opened.
    std::vector<SInt32> told;
    QObject::connect(view, &CIndexView::itemActivated, view,
        [&](CIndexModel*, SInt32 index, CIndexItem*, bool) { told.push_back(index); });
    QRect cell;
    ASSERT_TRUE(view->GetCellRect(1, cell));
    const QPoint picture = item->GetPartRect(kItemPartPicture, cell, *view).center();
    view->GetContainingWindow()->Select();
    // Clicked twice, as the grid takes a click whose button is up again.
    view->SimulateClick(picture);
    view->SimulateClick(picture, 0, 2);
    ProcessEventsFor(100);
    EXPECT_EQ(told, std::vector<SInt32> { 1 });
    ASSERT_EQ(CMediaWindow::GetWindowList().size(), 1u);
    CMediaWindow* media = CMediaWindow::GetWindowList().front();
    EXPECT_EQ(media->GetItem(), item);
    EXPECT_EQ(media->GetModel(), &view->GetModel()) << "the window steps through the index's model";
    EXPECT_EQ(media->GetItemIndex(), 1);
    media->DoClose();
    FlushDeletes();

    // Return on the selected cell, with the grid holding the keys.
    view->GetContainingWindow()->Select();
    view->setFocus();
    view->SelectIndex(1);
    QTest::keyClick(view, Qt::Key_Return);
    ProcessEventsFor(100);
    EXPECT_EQ(told, (std::vector<SInt32> { 1, 1 }));
    ASSERT_EQ(CMediaWindow::GetWindowList().size(), 1u);
    EXPECT_EQ(CMediaWindow::GetWindowList().front()->GetModel(), &view->GetModel());
}

TEST_F(IndexOfOnePhoto, ANewDesktopThemeRepaintsTheIndexAndMediaWindows)
{
    CMediaWindow* media = OpenInMediaWindow();
    ASSERT_NE(media, nullptr);
    // Paints counted on both windows once the desktop's theme changes.
    struct PaintCounter : QObject {
        int paints = 0;
        bool eventFilter(QObject*, QEvent* event) override
        {
            paints += event->type() == QEvent::Paint;
            return false;
        }
    } onView, onMedia;
    view->installEventFilter(&onView);
    media->installEventFilter(&onMedia);
    QEvent themeChange(QEvent::ThemeChange);
    QCoreApplication::sendEvent(qApp, &themeChange);
    ProcessEventsFor(100);
    EXPECT_GT(onView.paints, 0);
    EXPECT_GT(onMedia.paints, 0);
    media->GetShell()->grab().save(QStringLiteral(ORVEX_ARTEFACT_DIR "/media-window-pattern.png"));
    view->removeEventFilter(&onView);
    media->removeEventFilter(&onMedia);
}

TEST_F(IndexOfOnePhoto, GetInfoFromTheGridAndTheMediaWindowShowsTheOneInfoWindow)
{
    constexpr CommandT cmd_GetInfo = 1010;
    Boolean enabled = false, usesMark = false;
    UInt16 mark = 0;
    Str255 name;
    view->FindCommandStatus(cmd_GetInfo, enabled, usesMark, mark, name);
    EXPECT_FALSE(enabled); // nothing selected
    view->SelectIndex(1);
    view->FindCommandStatus(cmd_GetInfo, enabled, usesMark, mark, name);
    EXPECT_TRUE(enabled);
    view->ObeyCommand(cmd_GetInfo, nullptr);
    ItemInfoWindow* window = item->GetInfoWindow();
    ASSERT_NE(window, nullptr);
    auto* shown = dynamic_cast<LWindow*>(window);
    ASSERT_NE(shown, nullptr);
    EXPECT_TRUE(shown->IsVisible());
    EXPECT_EQ(shown->GetCFDescriptor(), QStringLiteral("Nikon_D70.jpg Info (1/1)"));

    CMediaWindow* media = OpenInMediaWindow();
    ASSERT_NE(media, nullptr);
    media->ObeyCommand(1010, nullptr);
    EXPECT_EQ(item->GetInfoWindow(), window); // brought forward, not made again
}

} // namespace

#include "Alerts.h"
#include "AppCommands.h"
#include "AppRunSupport.h"
#include "CCriteria.h"
#include "CIndexDoc.h"
#include "CIndexListView.h"
#include "CIndexView.h"
#include "CInfoView.h"
#include "CItemInfoWindow.h"
#include "CMetaDataListView.h"
#include "CPreferencesWindow.h"
#include "CSearchView.h"
#include "CSearchWindow.h"
#include "CToolbar.h"
#include "ErrorReport.h"
#include "FieldKeys.h"
#include "CIndexItem.h"
#include "IndexDocServices.h"
#include "ItemWindows.h"
#include "LayoutCheck.h"
#include "LControl.h"
#include "Preferences.h"
#include "StoredSettings.h"
#include "UReportErrors.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenuBar>
#include <QTest>
#include <QToolBar>
#include <QPainter>
#include <QPalette>
#include <QProxyStyle>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QStyleFactory>
#include <QTabBar>
#include <QToolButton>
#include <QTimer>
#include <QTreeView>

#include <algorithm>
#include <array>
#include <set>

// The windows a user meets in an index, each looked at as it first shows (and at
// each of its tabs): nothing cut off, off the edge or drawn over something else.
// ORVEX_SAVE_PICTURES=<folder> keeps their pictures; QT_SCALE_FACTOR=2 makes them
// at double density.

namespace {

// A window's frame (title bar included) lies within its screen's available area.
QStringList OffTheScreen(const QWidget& window, const QString& name)
{
    const QScreen* screen = window.screen();
    if (!screen || window.parentWidget())
        return {};
    const QRect available = screen->availableGeometry();
    const QRect frame = window.frameGeometry();
    if (available.contains(frame))
        return {};
    return { QStringLiteral("%1: frame %2,%3 %4x%5 outside the screen's %6x%7")
                 .arg(name)
                 .arg(frame.x())
                 .arg(frame.y())
                 .arg(frame.width())
                 .arg(frame.height())
                 .arg(available.width())
                 .arg(available.height()) };
}

QStringList Inspect(QWidget& window, const QString& name)
{
    QStringList faults = OffTheScreen(window, name);
    auto look = [&](const QString& shot) {
        QCoreApplication::processEvents();
        SavePictureIfAsked(window, shot);
        for (const QString& fault : LayoutFaults(window))
            faults << shot + QStringLiteral(": ") + fault;
    };
    look(name);
    for (QTabBar* tabs : window.findChildren<QTabBar*>()) {
        if (!tabs->isVisibleTo(&window))
            continue;
        const int shown = tabs->currentIndex();
        for (int tab = 0; tab < tabs->count(); ++tab) {
            if (tab == shown)
                continue;
            tabs->setCurrentIndex(tab);
            look(QStringLiteral("%1-%2").arg(name).arg(tab + 1));
        }
        tabs->setCurrentIndex(shown);
    }
    return faults;
}

// Looks at every modal dialog that comes up, then cancels it.
class ModalInspector {
public:
    explicit ModalInspector(const QString& name)
    {
        mTimer.setInterval(30);
        QObject::connect(&mTimer, &QTimer::timeout, [this, name] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal)
                return;
            // A file dialog opens where the last one was left; its folder popup is Qt's
            // own and shows that folder's whole path, so give it a short one.
            if (auto* files = qobject_cast<QFileDialog*>(modal))
                files->setDirectory(QDir::tempPath());
            faults << Inspect(*modal, name + (seen ? QStringLiteral("-%1").arg(seen + 1) : QString()));
            ++seen;
            CancelModal(modal);
        });
        mTimer.start();
    }
    QStringList faults;
    int seen = 0;

private:
    QTimer mTimer;
};

QList<QWidget*> VisibleWindows()
{
    QList<QWidget*> shown;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        // A tool tip or the fading picture of a closed palette is no window to look at.
        if (widget->isVisible() && widget->windowType() != Qt::ToolTip)
            shown << widget;
    }
    return shown;
}

// A dark desktop palette, as dark styles give.
QPalette DarkPalette()
{
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(0x35, 0x35, 0x35));
    dark.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xec));
    dark.setColor(QPalette::Base, QColor(0x2d, 0x2d, 0x2d));
    dark.setColor(QPalette::AlternateBase, QColor(0x3a, 0x3a, 0x3a));
    dark.setColor(QPalette::Text, QColor(0xee, 0xee, 0xec));
    dark.setColor(QPalette::Button, QColor(0x3c, 0x3c, 0x3c));
    dark.setColor(QPalette::ButtonText, QColor(0xee, 0xee, 0xec));
    dark.setColor(QPalette::Highlight, QColor(0x35, 0x84, 0xe4));
    dark.setColor(QPalette::HighlightedText, Qt::white);
    dark.setColor(QPalette::ToolTipBase, QColor(0x2d, 0x2d, 0x2d));
    dark.setColor(QPalette::ToolTipText, QColor(0xee, 0xee, 0xec));
    return dark;
}

// The dark palette when ORVEX_DARK_PALETTE is set.
void UseDarkPaletteIfAsked()
{
    if (qEnvironmentVariableIsSet("ORVEX_DARK_PALETTE"))
        QApplication::setPalette(DarkPalette());
}

// A style whose tabs take more room than the default style's, as some desktop
// styles' do.
class WideTabsStyle : public QProxyStyle {
public:
    WideTabsStyle()
        : QProxyStyle(QStyleFactory::create(QApplication::style()->name()))
    {
    }
    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override
    {
        const int base = QProxyStyle::pixelMetric(metric, option, widget);
        return metric == PM_TabBarTabHSpace ? base + 40 : base;
    }
};

// The lightness most of a widget's picture has (0 black, 255 white), to the
// nearest 16: its ground, whatever pictures stand on it.
int GroundLightness(QWidget& widget)
{
    const QImage picture = widget.grab().toImage();
    std::array<int, 16> buckets {};
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            ++buckets[size_t(picture.pixelColor(x, y).lightness() / 16)];
    return int(std::max_element(buckets.begin(), buckets.end()) - buckets.begin()) * 16 + 8;
}

// Tabs wider than their bar, and the bar's scroll arrows shown.
QStringList TabsCutOff(QWidget& window, const QString& name)
{
    QStringList faults;
    for (QTabBar* tabs : window.findChildren<QTabBar*>()) {
        if (!tabs->isVisibleTo(&window))
            continue;
        for (int tab = 0; tab < tabs->count(); ++tab) {
            if (!tabs->rect().contains(tabs->tabRect(tab)))
                faults << QStringLiteral("%1: the tab \"%2\" lies outside its bar").arg(name, tabs->tabText(tab));
        }
        for (QToolButton* arrow : tabs->findChildren<QToolButton*>())
            if (arrow->isVisible())
                faults << name + QStringLiteral(": the tabs scroll");
    }
    return faults;
}

class WindowLayout : public ::testing::Test {
protected:
    void SetUp() override
    {
        UseDarkPaletteIfAsked();
        app = MakeProgramWithoutIndex();
    }
    void TearDown() override
    {
        CloseEverything();
        app.reset();
    }
    void CloseEverything()
    {
        while (!LDocument::GetDocumentList().empty())
            delete LDocument::GetDocumentList().back();
        FlushDeletes();
        for (QWidget* widget : QApplication::topLevelWidgets())
            widget->hide();
        ProcessEventsFor(20);
    }
    // An index of three photographs, the first selected, its view the target.
    CIndexDoc* FreshIndex() { return NewIndexOfPhotos(*app); }
    // The windows and dialogs a command brings up, looked at.
    QStringList Choose(LCommander* target, CommandT command, const QString& name)
    {
        ModalInspector modal(name);
        const QList<QWidget*> before = VisibleWindows();
        RunReportingErrors([&] { target->ProcessCommand(command, nullptr); });
        ProcessEventsFor(300);
        QStringList faults = modal.faults;
        int opened = modal.seen;
        for (QWidget* window : VisibleWindows()) {
            if (!before.contains(window)) {
                faults << Inspect(*window, opened ? QStringLiteral("%1-%2").arg(name).arg(opened + 1) : name);
                ++opened;
            }
        }
        EXPECT_GT(opened, 0) << name.toStdString();
        return faults;
    }

    std::unique_ptr<COrvexApp> app;
};


// The index window's menu bar and tool bar, on the screen.
QRect BarsOf(LWindow& window)
{
    QWidget* shell = window.GetShell();
    return QRect(shell->geometry().topLeft(), QSize(shell->width(), window.mapTo(shell, QPoint(0, 0)).y()));
}

std::string Describe(const QRect& frame)
{
    return QStringLiteral("%1,%2 %3x%4").arg(frame.x()).arg(frame.y()).arg(frame.width()).arg(frame.height()).toStdString();
}

} // namespace

TEST_F(WindowLayout, TheIndexWindowsAndDialogsShowEverythingWhole)
{
    ASSERT_GE(CameraPhotos().size(), 3);
    struct Case {
        const char* name;
        CommandT command;
        bool ofTheApp;
    };
    const Case cases[] = {
        { "search", cmd_SearchWindow, false },
        { "batch", cmd_BatchWindow, false },
        { "item-info", cmd_ItemInfo, false },
        { "download-addresses", cmd_DownloadAddresses, false },
        { "upload", cmd_UploadItems, false },
        { "export-files", cmd_ExportFiles, false },
        { "export-xml", cmd_ExportXML, false },
        { "index-properties", cmd_IndexProperties, false },
        { "organize-settings", cmd_OrganizeStoredSettings, true },
        { "preferences", cmd_Preferences, true },
    };
    QStringList faults;
    for (const Case& c : cases) {
        CIndexDoc* document = FreshIndex();
        LCommander* target = c.ofTheApp ? static_cast<LCommander*>(app.get()) : IndexViewOfDocument(document);
        faults << Choose(target, c.command, QString::fromLatin1(c.name));
        CloseEverything();
    }

    // The search and batch panels with a row of every kind of editor.
    struct Rows {
        SInt32 command;
        std::vector<std::pair<SInt32, SInt32>> criteria; // field, selector
    };
    // A value that names another field shows the field popup in place of the text.
    const QString fieldValue = QStringLiteral("$$@@%1").arg(kFieldSupplementalCategories);
    const Rows panels[] = {
        { cmd_SearchWindow, { { kFieldName, kSelectorIs }, { kFieldKeywords, kSelectorContains }, { kFieldModificationDate, kSelectorBefore },
                                { kFieldTotalSize, kSelectorGreaterThan }, { kFieldKind, kSelectorIs },
                                { kFieldHasThumbnail, kSelectorIsSet }, { kFieldUrgency, kSelectorIs } } },
        { cmd_BatchWindow, { { kFieldHeadline, 7207 }, { kFieldKeywords, 7200 }, { kFieldCreationDate, 7202 },
                               { kFieldPositionInView, 7208 }, { kFieldFileState, kSelectorOpenInApplication } } },
    };
    for (const Rows& panel : panels) {
        CIndexDoc* document = FreshIndex();
        IndexViewOfDocument(document)->ProcessCommand(panel.command, nullptr);
        CSearchWindow* window = CSearchWindow::GetSearchWindow();
        ASSERT_NE(window, nullptr);
        for (const auto& [field, selector] : panel.criteria) {
            const QVariantMap row { { kCriteriaCategoryKey, field }, { kCriteriaSelectorKey, selector },
                { kCriteriaValueKey, field == kFieldName ? fieldValue : QStringLiteral("1") } };
            window->AddCriterionRow(&row);
        }
        ProcessEventsFor(100);
        faults << Inspect(*window->GetShell(), QStringLiteral("rows-%1").arg(panel.command));
        CloseEverything();
    }

    // The index window itself, as a list with both side panes.
    CIndexDoc* document = FreshIndex();
    CIndexView* view = IndexViewOfDocument(document);
    view->ProcessCommand(kCmdListView, nullptr);
    view->ProcessCommand(cmd_BothSidePanes, nullptr);
    ProcessEventsFor(200);
    // Only the list and the organizer are looked into: the file browser beside
    // them has checks of its own.
    QWidget* shell = document->GetWindow()->GetShell();
    SavePictureIfAsked(*shell, QStringLiteral("index-list"));
    faults << OffTheScreen(*shell, QStringLiteral("index-list"));
    int lists = 0;
    for (QWidget* widget : shell->findChildren<QWidget*>()) {
        if (dynamic_cast<CIndexListView*>(widget) || dynamic_cast<CMetaDataListView*>(widget)) {
            EXPECT_TRUE(widget->isVisible());
            for (const QString& fault : LayoutFaults(*widget))
                faults << QStringLiteral("index-list: ") + fault;
            ++lists;
        }
        // The organizer's rows name their fields in full.
        if (auto* organizer = dynamic_cast<CMetaDataListView*>(widget)) {
            for (const QString& fault : RowFaults(*organizer->GetControlRef()))
                faults << QStringLiteral("organizer: ") + fault;
        }
    }
    EXPECT_EQ(lists, 2);

    // The extended cells: every field's label whole (its value may be cut to its
    // room), also where the window is as narrow as a small screen makes it and the
    // grid between the side panes is narrower than a cell.
    document->SetViewMode(kCmdExtendedView);
    ProcessEventsFor(100);
    QStringList labels;
    for (SInt32 key : view->GetColumns(kExtendedViewMode))
        labels << CopyFieldName(key) + QLatin1Char(':');
    const QSize shown = shell->size();
    for (const int width : { shown.width(), 800, shown.width() }) {
        shell->resize(width, shown.height());
        ProcessEventsFor(100);
        const QString name = QStringLiteral("index-extended-%1").arg(width);
        SavePictureIfAsked(*shell, name);
        for (const QString& fault :
            DrawnTextFaults(view->size(), labels, [&](QPainter& painter) { view->DrawSelf(painter); }))
            faults << name + QStringLiteral(": ") + fault;
    }

    // The alerts, with texts as long as a camera and a download folder make them.
    for (const auto& [message, explanation] :
        { std::pair { QStringLiteral("Do you want to import 1248 pictures from “NIKON DSC COOLPIX P7800 (PTP mode)”?"),
              QStringLiteral(
                  "The pictures are downloaded into the folder “Holiday pictures from the camera of the family "
                  "2024”, added to the index and then deleted from the camera.") },
            std::pair { QStringLiteral("Remove the 2 selected items from the index?"),
                QStringLiteral(
                    "The items are removed from the index. Their media files are left where they are.") } }) {
        ModalInspector modal(QStringLiteral("alert"));
        AskYesNoAlert(message, explanation, kNoteAlert);
        faults << modal.faults;
        EXPECT_EQ(modal.seen, 1);
    }
    {
        ModalInspector modal(QStringLiteral("message-alert"));
        ShowMessageAlert(
            QStringLiteral("No application is set up to open folders, so the file cannot be shown in a file "
                           "manager. Install a file manager, or choose one for folders in the desktop's settings."),
            kCautionAlert);
        faults << modal.faults;
        EXPECT_EQ(modal.seen, 1);
    }

    // A transfer's failure with the server's own words.
    {
        ModalInspector modal(QStringLiteral("transfer-error"));
        SErrorRecord record;
        ShowErrorDialog(record, -31, kStopAlert,
            QStringLiteral("550 /pub/incoming/holidays-2024/beach-at-sunset-with-the-whole-family.jpg: Permission denied "
                           "(the folder takes no uploads from anonymous users)"));
        faults << modal.faults;
        EXPECT_EQ(modal.seen, 1);
    }

    // The dialogs of stored settings and of export options, as their layouts make them.
    for (ResIDT layout : { 1033, 1035, 1036, 1037, 1039 }) {
        std::unique_ptr<LWindow> dialog(LWindow::CreateWindow(layout, nullptr));
        ASSERT_NE(dialog, nullptr);
        dialog->Show();
        ProcessEventsFor(50);
        faults << Inspect(*dialog->GetShell(), QStringLiteral("dialog-%1").arg(layout));
    }
    EXPECT_TRUE(faults.isEmpty()) << faults.join('\n').toStdString();
}

// Where the windows of an index open: beside or over the index window, never
// over its menus and tool bar when there is room below them, one of a kind not
// exactly over another, and all within the screen.
TEST_F(WindowLayout, PalettesOpenBesideTheIndexWindowAndInfoWindowsCascadeOnTheScreen)
{
    ASSERT_GE(CameraPhotos().size(), 3);
    // Palettes the user never moved.
    SetPrefPoint(kSearchWindowPositionKey, Point {});
    SetPrefPoint(CItemInfoWindow::kPositionKey, Point {});
    SetPrefBoolean(QStringLiteral("IndexFullScreen"), false);
    CIndexDoc* document = FreshIndex();
    CIndexView* view = IndexViewOfDocument(document);
    ASSERT_TRUE(view);
    LWindow* index = document->GetWindow();
    const QRect available = index->GetShell()->screen()->availableGeometry();

    view->ProcessCommand(cmd_SearchWindow, nullptr);
    ProcessEventsFor(100);
    CSearchWindow* search = CSearchWindow::GetSearchWindow();
    ASSERT_TRUE(search && search->IsVisible());
    const QRect searchFrame = search->GetShell()->frameGeometry();
    const QRect bars = BarsOf(*index);
    ASSERT_GT(bars.height(), 0);
    SavePictureIfAsked(*search->GetShell(), QStringLiteral("placement-search"));
    EXPECT_TRUE(available.contains(searchFrame));
    // A window with room below the index window's bars leaves them free.
    auto roomBelowBars = [&](const QRect& frame) { return frame.height() <= available.bottom() - bars.bottom(); };
    if (roomBelowBars(searchFrame))
        EXPECT_FALSE(searchFrame.intersects(bars)) << "the search window covers the index window's menus: " << Describe(searchFrame) << " bars " << Describe(bars);
    search->ProcessCommand(cmd_Close);
    ProcessEventsFor(50);

    view->ProcessCommand(cmd_SelectAll, nullptr);
    view->ProcessCommand(cmd_ItemInfo, nullptr);
    ProcessEventsFor(200);
    QList<QRect> frames;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && widget != index->GetShell() && widget->property("orvexShell").toBool())
            frames << widget->frameGeometry();
    }
    ASSERT_EQ(frames.size(), 3);
    for (qsizetype i = 0; i < frames.size(); ++i) {
        EXPECT_TRUE(available.contains(frames[i])) << i;
        if (roomBelowBars(frames[i]))
            EXPECT_FALSE(frames[i].intersects(bars)) << i;
        for (qsizetype j = i + 1; j < frames.size(); ++j)
            EXPECT_NE(frames[i].topLeft(), frames[j].topLeft()) << "info windows " << i << " and " << j << " on each other at " << Describe(frames[i]);
    }
}

TEST(WindowLayoutCheck, FindsTextCutOffControlsOffTheEdgeAndControlsOnEachOther)
{
    QWidget window;
    window.resize(260, 100);
    auto* label = new QLabel(QStringLiteral("A label much longer than its room"), &window);
    label->setGeometry(10, 10, 60, 20);
    auto* button = new QPushButton(QStringLiteral("OK"), &window);
    button->setGeometry(220, 70, 80, 26); // past the right edge
    auto* one = new QLineEdit(&window);
    one->setGeometry(10, 40, 100, 24);
    auto* two = new QLineEdit(&window);
    two->setGeometry(60, 44, 100, 24);
    window.show();
    const QStringList faults = LayoutFaults(window);
    EXPECT_EQ(faults.size(), 3) << faults.join('\n').toStdString();
    EXPECT_EQ(faults.filter(QStringLiteral("text cut off: QLabel")).size(), 1);
    EXPECT_EQ(faults.filter(QStringLiteral("outside its holder")).size(), 1);
    EXPECT_EQ(faults.filter(QStringLiteral("overlap: QLineEdit")).size(), 1);

    label->resize(label->sizeHint());
    button->move(170, 70);
    two->move(10, 70);
    EXPECT_EQ(LayoutFaults(window), QStringList());
}

// The folder a batch copies into is chosen in a dialog over the index window, not
// over the batch palette beside it; the shared Files palette opens beside the
// index window. Both lie within the screen.
TEST_F(WindowLayout, TheFolderDialogAndTheFilesWindowOpenByTheirIndexWindow)
{
    ASSERT_GE(CameraPhotos().size(), 3);
    SetPrefPoint(kSearchWindowPositionKey, Point {});
    SetPrefBoolean(QStringLiteral("IndexFullScreen"), false);
    SetPrefValue(kLastBatchSettingsKey, QVariant()); // a first batch: one row of its own
    CIndexDoc* document = FreshIndex();
    CIndexView* view = IndexViewOfDocument(document);
    LWindow* index = document->GetWindow();
    // The index window at the screen's left, with room for a palette on its right.
    const QRect available = index->GetShell()->screen()->availableGeometry();
    index->DoSetBounds(QRect(available.left() + 40, available.top() + 80, available.width() / 2, available.height() / 2));
    ProcessEventsFor(100);
    const QRect indexFrame = index->GetShell()->frameGeometry();

    view->ProcessCommand(cmd_BatchWindow, nullptr);
    ProcessEventsFor(100);
    CSearchWindow* batch = CSearchWindow::GetSearchWindow();
    ASSERT_TRUE(batch && batch->IsVisible());
    CSearchView* row = batch->GetRows().front();
    ChooseInPopup(ComboOf(row->GetCategoryPopup()), QStringLiteral("file state"));
    ChooseInPopup(ComboOf(row->GetSelectorPopup()), QStringLiteral("copy to folder"));
    ChooseInPopup(ComboOf(row->GetValuePopup()), QStringLiteral("Choose…"), false);
    QFileDialog* dialog = nullptr;
    ASSERT_TRUE(RunUntil([&] {
        dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        return dialog && dialog->isVisible();
    }));
    ProcessEventsFor(50);
    const QRect dialogFrame = dialog->frameGeometry();
    SavePictureIfAsked(*dialog, QStringLiteral("placement-folder"));
    EXPECT_TRUE(available.contains(dialogFrame)) << Describe(dialogFrame);
    EXPECT_TRUE(indexFrame.contains(dialogFrame.center()))
        << "the folder dialog " << Describe(dialogFrame) << " is not over the index window " << Describe(indexFrame);
    CancelModal(dialog);
    ProcessEventsFor(50);
    batch->ProcessCommand(cmd_Close);
    ProcessEventsFor(50);

    index->Select();
    view->ProcessCommand(cmd_SharedWindow, nullptr);
    ProcessEventsFor(100);
    QWidget* files = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && widget != index->GetShell() && widget->property("orvexShell").toBool())
            files = widget;
    }
    ASSERT_NE(files, nullptr);
    const QRect filesFrame = files->frameGeometry();
    SavePictureIfAsked(*files, QStringLiteral("placement-files"));
    EXPECT_TRUE(available.contains(filesFrame)) << Describe(filesFrame);
    EXPECT_TRUE(filesFrame.intersects(indexFrame.adjusted(-2, -2, 2, 2)))
        << "the Files window " << Describe(filesFrame) << " is neither over nor beside the index window " << Describe(indexFrame);
    view->ProcessCommand(cmd_SharedWindow, nullptr);
}

// Under a dark desktop palette the index window's default look follows it: the
// grid and the status strip are dark with light text; a theme the user named
// keeps its own light pattern.
TEST_F(WindowLayout, UnderADarkPaletteTheDefaultGridAndTheStatusStripAreDark)
{
    ASSERT_GE(CameraPhotos().size(), 3);
    const QPalette before = QApplication::palette();
    QApplication::setPalette(DarkPalette());
    StTempPrefBoolean toolbarShown(QStringLiteral("IndexShowToolbar"), true);
    const QVariant customised = CopyPrefValue(kIndexToolbarIdentifier);
    SetPrefValue(kIndexToolbarIdentifier, QVariant()); // the bar's items as they come
    const auto restore = qScopeGuard([&] { SetPrefValue(kIndexToolbarIdentifier, customised); });
    CIndexDoc* document = FreshIndex();
    CIndexView* view = IndexViewOfDocument(document);
    ASSERT_EQ(view->GetTheme(), GetPrefNumber(QStringLiteral("DefaultIndexTheme_6")));
    // A window as wide as a user's, whatever size the windows before left as the default.
    document->GetWindow()->GetShell()->resize(900, 640);
    ProcessEventsFor(200);
    ASSERT_GE(view->width(), 200) << "the grid does not show";
    SavePictureIfAsked(*document->GetWindow()->GetShell(), QStringLiteral("index-dark-palette"));
    EXPECT_LT(GroundLightness(*view), 110) << "the grid stays light under a dark palette";
    // Light names on the dark ground.
    EXPECT_GT(view->GetTextColor().lightness(), 160);
    CInfoView* strip = nullptr;
    for (QWidget* widget : document->GetWindow()->GetShell()->findChildren<QWidget*>())
        if (auto* found = dynamic_cast<CInfoView*>(widget))
            strip = found;
    ASSERT_NE(strip, nullptr);
    EXPECT_LT(GroundLightness(*strip), 110) << "the status strip stays light under a dark palette";
    int lightPixels = 0;
    const QImage stripPicture = strip->grab().toImage();
    for (int y = 0; y < stripPicture.height(); ++y)
        for (int x = 0; x < stripPicture.width(); ++x)
            lightPixels += stripPicture.pixelColor(x, y).lightness() > 170 ? 1 : 0;
    EXPECT_GT(lightPixels, 20) << "the status strip's text is not light";

    // The toolbar's icons follow the palette: none keeps the dark grey ink drawn for
    // light bars. The view and browser selectors draw their own light faces, on which
    // their strokes and marked segments stay dark.
    auto* toolbar = document->GetWindow()->GetShell()->findChild<QToolBar*>();
    ASSERT_TRUE(toolbar && toolbar->isVisible());
    const QImage barPicture = toolbar->grab().toImage();
    const double density = barPicture.devicePixelRatio();
    QList<QRect> selectors;
    for (const char* name : { "viewselector", "browserselector" }) {
        auto* selector = toolbar->findChild<QWidget*>(QLatin1String(name));
        ASSERT_NE(selector, nullptr) << name;
        selectors.append(QRect(selector->mapTo(toolbar, QPoint(0, 0)) * density, selector->size() * density));
        // Dark pixels within the light face, row by row: its strokes, not the bar around it.
        const QImage face = selector->grab().toImage();
        int strokePixels = 0;
        for (int y = 0; y < face.height(); ++y) {
            int first = -1, last = -1;
            for (int x = 0; x < face.width(); ++x)
                if (face.pixelColor(x, y).lightness() > 200) {
                    first = first < 0 ? x : first;
                    last = x;
                }
            for (int x = first + 1; first >= 0 && x < last; ++x)
                strokePixels += face.pixelColor(x, y).lightness() < 100 ? 1 : 0;
        }
        EXPECT_GT(strokePixels, int(40 * density * density)) << name << ": its strokes are lost on its light face";
    }
    int inkPixels = 0;
    for (int y = 0; y < barPicture.height(); ++y)
        for (int x = 0; x < barPicture.width(); ++x) {
            if (std::any_of(selectors.begin(), selectors.end(), [&](const QRect& r) { return r.contains(x, y); }))
                continue;
            const QColor pixel = barPicture.pixelColor(x, y);
            inkPixels += std::abs(pixel.red() - 60) <= 3 && std::abs(pixel.green() - 64) <= 3 && std::abs(pixel.blue() - 72) <= 3;
        }
    EXPECT_LT(inkPixels, int(10 * density * density)) << "the toolbar icons' dark strokes stay dark on the dark bar";

    // A named theme is as the user chose it.
    view->SetTheme(2, true);
    ProcessEventsFor(100);
    EXPECT_GT(GroundLightness(*view), 170);
    view->SetTheme(GetPrefNumber(QStringLiteral("DefaultIndexTheme_6")), true);
    QApplication::setPalette(QApplication::style()->standardPalette());
    ProcessEventsFor(100);
    EXPECT_GT(GroundLightness(*view), 170) << "the default theme is not its own under a light palette";
    QApplication::setPalette(before);
}

// Tabs wider than the default style's still show whole: the window widens to its tabs.
TEST_F(WindowLayout, TheTabsOfPreferencesAndTheInfoWindowFitTheirWindow)
{
    ASSERT_GE(CameraPhotos().size(), 3);
    const QString styleName = QApplication::style()->name();
    QApplication::setStyle(new WideTabsStyle);
    QStringList faults;
    CIndexDoc* document = FreshIndex();
    const QList<QWidget*> before = VisibleWindows();
    RunReportingErrors([&] { app->ProcessCommand(cmd_Preferences, nullptr); });
    RunReportingErrors([&] { IndexViewOfDocument(document)->ProcessCommand(cmd_ItemInfo, nullptr); });
    ProcessEventsFor(300);
    int opened = 0;
    for (QWidget* window : VisibleWindows()) {
        if (before.contains(window))
            continue;
        ++opened;
        const QString name = QStringLiteral("wide-tabs-%1").arg(opened);
        SavePictureIfAsked(*window, name);
        faults << TabsCutOff(*window, name) << OffTheScreen(*window, name);
    }
    EXPECT_EQ(opened, 2);
    CloseEverything();
    QApplication::setStyle(QStyleFactory::create(styleName));
    EXPECT_TRUE(faults.isEmpty()) << faults.join('\n').toStdString();
}

// The toolbar's "»" button, which shows the items past the bar's end, reads on
// the bar as its items do, whatever the palette and the screen's density.
TEST_F(WindowLayout, TheToolbarsMoreItemsButtonStandsOutFromTheBar)
{
    ASSERT_GE(CameraPhotos().size(), 3);
    StTempPrefBoolean toolbarShown(QStringLiteral("IndexShowToolbar"), true);
    // The bar's items as they come, whatever a test before this one customised.
    const QVariant customised = CopyPrefValue(kIndexToolbarIdentifier);
    SetPrefValue(kIndexToolbarIdentifier, QVariant());
    const auto restore = qScopeGuard([&] { SetPrefValue(kIndexToolbarIdentifier, customised); });
    CIndexDoc* document = FreshIndex();
    QWidget* shell = document->GetWindow()->GetShell();
    QToolButton* more = shell->findChild<QToolButton*>(QStringLiteral("qt_toolbar_ext_button"));
    ASSERT_NE(more, nullptr);
    // Narrower until items of the bar overflow, whatever size they have. Spaces
    // alone past the end show the button disabled (Qt's way: nothing to offer),
    // drawn as a disabled control, as the bar a test before this one set up may have.
    const auto overflows = [&] { return more->isVisible() && more->isEnabled(); };
    for (int width = 560; width >= 240 && !overflows(); width -= 80) {
        shell->resize(width, shell->height());
        ProcessEventsFor(200);
    }
    ASSERT_TRUE(overflows()) << "the bar does not overflow at " << shell->width() << " pixels";
    SavePictureIfAsked(*shell, QStringLiteral("index-toolbar-more"));
    // Pixels of the "»" against the button's ground (its most common lightness).
    const QImage picture = more->grab().toImage();
    const int ground = GroundLightness(*more);
    int marked = 0;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            marked += std::abs(picture.pixelColor(x, y).lightness() - ground) > 96 ? 1 : 0;
    const double density = qApp->devicePixelRatio();
    EXPECT_GE(marked, int(8 * density * density)) << "the \u00bb does not stand out from the bar";
}

// The list names each item's kind, also in its narrow default column, and a
// column the user adds opens wide enough for what its rows show.
TEST_F(WindowLayout, TheListNamesKindsAndOpensColumnsWideEnoughForTheirValues)
{
    app->MakeNewDocument();
    CIndexDoc* document = OpenIndexDocuments().back();
    for (const char* sample : { "PNG.png", "Photoshop.psd", "QuickTime.mov", "RIFF.wav", "IPTC.jpg", "NikonD70.jpg" })
        document->AddItem(QUrl::fromLocalFile(TestDataPath(QStringLiteral("exiftool-images/") + QLatin1String(sample))));
    CIndexView* view = SelectFirstItemWhenIdle(document);
    // The columns chosen here are not the next test's.
    const QVariant columns = CopyPrefValue(QStringLiteral("ListViewColumns"));
    const auto restore = qScopeGuard([&] { SetPrefValue(QStringLiteral("ListViewColumns"), columns); });
    view->ProcessCommand(kCmdListView, nullptr);
    ProcessEventsFor(200);
    QWidget* shell = document->GetWindow()->GetShell();
    CIndexListView* list = nullptr;
    for (QWidget* widget : shell->findChildren<QWidget*>())
        if (auto* found = dynamic_cast<CIndexListView*>(widget))
            list = found;
    ASSERT_NE(list, nullptr);
    for (SInt32 key : { kFieldDateCreated, kFieldFlash }) {
        if (list->HasFieldColumn(key))
            list->ProcessCommand(key, nullptr); // off, to be added as a user adds it
        list->ProcessCommand(key, nullptr); // the Columns menu's item
    }
    ProcessEventsFor(200);
    SavePictureIfAsked(*shell, QStringLiteral("index-list-columns"));

    QTreeView* tree = list->GetControlRef();
    const std::vector<SInt32> shown = list->GetFieldColumns();
    QStringList faults;
    int dated = 0;
    for (CIndexItem* item : view->GetItemList()) {
        for (SInt32 key : { kFieldKind, kFieldDateCreated, kFieldFlash }) {
            const auto at = std::find(shown.begin(), shown.end(), key);
            ASSERT_NE(at, shown.end()) << key;
            const int width = tree->columnWidth(int(at - shown.begin()));
            DataBrowserItemData data;
            ASSERT_EQ(item->GetSetCellData(DataBrowserPropertyID(key), data, false, width), noErr);
            const QString text = data.value.typeId() == QMetaType::QDateTime
                ? QLocale().toString(data.value.toDateTime(), QLocale::ShortFormat)
                : data.value.toString();
            dated += key == kFieldDateCreated && !text.isEmpty() ? 1 : 0;
            const QString where = QStringLiteral("%1 of %2").arg(CopyFieldName(key), item->GetName());
            // The kind's name, or its first words where the column is narrow; never the type code.
            if (key == kFieldKind && (text.isEmpty() || !item->CopyFieldString(kFieldKind, kFieldTextFullName).startsWith(text)))
                faults << where + QStringLiteral(": \"%1\" names no kind").arg(text);
            if (key == kFieldDateCreated && text.contains(QLatin1String("1904")))
                faults << where + QStringLiteral(": \"%1\" for a caption without a date").arg(text);
            if (tree->fontMetrics().horizontalAdvance(text) + 8 > width)
                faults << where + QStringLiteral(": \"%1\" is cut off at %2 pixels").arg(text).arg(width);
        }
    }
    EXPECT_GT(dated, 0) << "no sample has a caption date";
    EXPECT_TRUE(faults.isEmpty()) << faults.join('\n').toStdString();
}

// The index window shows the program's icon (in the task bar and the window
// switcher), and its menus, with the list's Sort By menu, open in one column
// within the screen.
TEST_F(WindowLayout, TheIndexWindowHasTheProgramsIconAndItsMenusOpenInOneColumn)
{
    ASSERT_GE(CameraPhotos().size(), 3);
    CIndexDoc* document = FreshIndex();
    IndexViewOfDocument(document)->ProcessCommand(kCmdListView, nullptr);
    ProcessEventsFor(100);
    QWidget* shell = document->GetWindow()->GetShell();
    const QImage programIcon = QIcon(QStringLiteral(":/icons/orvex.png")).pixmap(32).toImage();
    ASSERT_FALSE(programIcon.isNull());
    EXPECT_EQ(shell->windowIcon().pixmap(32).toImage().convertToFormat(programIcon.format()), programIcon);
    auto* bar = shell->findChild<QMenuBar*>();
    ASSERT_NE(bar, nullptr);
    const QRect available = shell->screen()->availableGeometry();
    QStringList faults;
    auto look = [&](QMenu* menu, const QString& name) {
        ProcessEventsFor(50);
        ASSERT_TRUE(menu->isVisible()) << name.toStdString();
        SavePictureIfAsked(*menu, QStringLiteral("menu-") + name);
        std::set<int> columns;
        for (QAction* action : menu->actions())
            if (action->isVisible() && !action->isSeparator())
                columns.insert(menu->actionGeometry(action).left());
        if (columns.size() > 1)
            faults << QStringLiteral("%1: %2 columns").arg(name).arg(columns.size());
        if (!available.contains(menu->geometry()))
            faults << QStringLiteral("%1: %2 outside the screen").arg(name, QString::fromStdString(Describe(menu->geometry())));
    };
    for (QAction* title : bar->actions()) {
        QMenu* menu = title->menu();
        if (!menu || !title->isVisible())
            continue;
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(title).center());
        look(menu, title->text().remove(QLatin1Char('&')));
        for (QAction* item : menu->actions()) {
            if (item->menu() && item->text().remove(QLatin1Char('&')) == QStringLiteral("Sort By")) {
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(item).center());
                look(item->menu(), QStringLiteral("Sort By"));
                item->menu()->hide();
            }
        }
        menu->hide();
        ProcessEventsFor(20);
    }
    EXPECT_TRUE(faults.isEmpty()) << faults.join('\n').toStdString();
}

// A window the screen makes smaller (a size left on a larger screen, or at a
// lower scale factor) opens within the screen, and the size the user left is
// what is kept for the next run.
TEST_F(WindowLayout, AWindowShrunkToTheScreenKeepsTheSizeTheUserLeft)
{
    ASSERT_GE(CameraPhotos().size(), 3);
    QVariantMap kept;
    for (const char* key : { "DefaultIndexWindowWidth", "DefaultIndexWindowHeigth", "DefaultIndexWindowPosition" })
        kept.insert(QString::fromLatin1(key), CopyPrefValue(QString::fromLatin1(key)));
    const auto restore = qScopeGuard([&] {
        for (auto entry = kept.cbegin(); entry != kept.cend(); ++entry)
            SetPrefValue(entry.key(), entry.value());
    });
    CIndexDoc* document = FreshIndex();
    LWindow* window = document->GetWindow();
    const QRect available = window->GetShell()->screen()->availableGeometry();
    // As an index opens with the size it was left at.
    window->DoSetBounds(QRect(available.topLeft() + QPoint(20, 40), QSize(1400, 900)));
    window->KeepOnScreen();
    ProcessEventsFor(100);
    EXPECT_TRUE(available.contains(window->GetShell()->frameGeometry())) << Describe(window->GetShell()->frameGeometry());
    IndexViewOfDocument(document)->ProcessCommand(cmd_SaveSettingsAsDefaults, nullptr);
    EXPECT_EQ(GetPrefNumber(QStringLiteral("DefaultIndexWindowWidth")), 1400);
    EXPECT_EQ(GetPrefNumber(QStringLiteral("DefaultIndexWindowHeigth")), 900);
    // A size the user gives it is kept as given.
    window->GetShell()->resize(600, 400);
    ProcessEventsFor(50);
    IndexViewOfDocument(document)->ProcessCommand(cmd_SaveSettingsAsDefaults, nullptr);
    EXPECT_EQ(GetPrefNumber(QStringLiteral("DefaultIndexWindowWidth")), 600);
}

// Preferences fits the screen at any scale with Apply and OK in sight and
// answering a click; a page taller than the room scrolls between the tabs and them.
TEST_F(WindowLayout, PreferencesKeepsItsButtonsOnTheScreen)
{
    RunReportingErrors([&] { app->ProcessCommand(cmd_Preferences, nullptr); });
    ProcessEventsFor(200);
    CPreferencesWindow* preferences = CPreferencesWindow::GetPreferencesWindow();
    ASSERT_NE(preferences, nullptr);
    QWidget* shell = preferences->GetShell();
    const QRect available = shell->screen()->availableGeometry();
    EXPECT_TRUE(available.contains(shell->frameGeometry())) << Describe(shell->frameGeometry());
    QWidget* ok = nullptr;
    for (const PaneIDT id : { PaneIDT(msg_PrefsApply), PaneIDT(msg_OK) }) {
        auto* pane = dynamic_cast<LControlPane*>(preferences->FindPaneByID(id));
        ASSERT_TRUE(pane && pane->GetControlWidget()) << id;
        QWidget* button = pane->GetControlWidget();
        const QRect onScreen(button->mapToGlobal(QPoint(0, 0)), button->size());
        EXPECT_TRUE(available.contains(onScreen)) << id << " at " << Describe(onScreen);
        EXPECT_EQ(button->visibleRegion().boundingRect(), button->rect()) << id << " is hidden in part";
        ok = button;
    }
    SavePictureIfAsked(*shell, QStringLiteral("preferences-buttons"));
    QTest::mouseClick(ok, Qt::LeftButton);
    ProcessEventsFor(50);
    FlushDeletes();
    EXPECT_EQ(CPreferencesWindow::GetPreferencesWindow(), nullptr) << "OK left Preferences open";
}

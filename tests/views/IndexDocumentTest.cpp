// The index document in the program's own index window: making and finding
// documents, the window's layout and commands, saving, closing and printing.

#include "CIndexDoc.h"
#include "CIndexListView.h"
#include "CIndexPackage.h"
#include "CIndexView.h"
#include "CIndexToolbar.h"
#include "ErrorCodes.h"
#include "ExceptionCode.h"
#include "IndexPrintCaptions.h"
#include "LWindow.h"
#include "Preferences.h"
#include "PropertyList.h"
#include "ThreadUtilities.h"
#include "IndexWindowTest.h"
#include "TestIndexWindow.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>
#include <QPrinter>
#include <QProcess>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTreeView>

#include <optional>

namespace {

QString FreshDir(const QString& name)
{
    const QString dir = TestTempDir() + QLatin1String("/doc-") + name;
    QDir(dir).removeRecursively();
    QDir().mkpath(dir);
    return dir;
}

bool HasDocument(CIndexDoc* doc)
{
    const auto& list = LDocument::GetDocumentList();
    return std::find(list.begin(), list.end(), doc) != list.end();
}

// Adds `count` items made from small real JPEG files to the index.
void Fill(CIndexDoc* doc, const QString& dir, int count)
{
    for (int i = 0; i < count; ++i) {
        const QString path = dir + QStringLiteral("/photo%1.jpg").arg(i);
        QImage image(40, 30, QImage::Format_RGB32);
        image.fill(QColor(40 * i % 255, 90, 160));
        ASSERT_TRUE(image.save(path, "JPEG"));
        doc->GetModel().InsertItem(new CIndexItem(QUrl::fromLocalFile(path)), kInsertAtEnd);
    }
}

template <typename T> T* SheetOf(CIndexDoc* doc)
{
    auto* sheet = qobject_cast<T*>(doc->GetSheet());
    EXPECT_TRUE(sheet);
    if (sheet)
        EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
    return sheet;
}

// Types a name into the save sheet and saves.
void AcceptSaveSheet(CIndexDoc* doc, const QString& dir, const QString& name)
{
    auto* dialog = SheetOf<QFileDialog>(doc);
    ASSERT_TRUE(dialog);
    dialog->setDirectory(dir);
    dialog->selectFile(dir + "/" + name);
    dialog->findChild<QLineEdit*>("fileNameEdit")->setText(name);
    static_cast<QDialog*>(dialog)->accept();
    QApplication::processEvents();
}

void Answer(CIndexDoc* doc, QMessageBox::StandardButton which)
{
    auto* box = SheetOf<QMessageBox>(doc);
    ASSERT_TRUE(box);
    box->button(which)->click();
    QApplication::processEvents();
}

class IndexDocument : public IndexWindowTest {
protected:
    void SetUp() override
    {
        IndexWindowTest::SetUp();
        classes.emplace();
        UseAKnownWindow();
        SetPrefBoolean("IndexAutoSave", false);
        SetPrefBoolean("IndexStoreMediaFile", false);
        SetPrefBoolean("IndexRemoveMediaFile", false);
        RegisterIndexPrintClasses();
        // A cancel key an earlier test pressed is not this test's to see.
        (void)CheckEventQueueForUserCancel();
    }
    void TearDown() override
    {
        classes.reset();
        IndexWindowTest::TearDown();
    }

    // The list shows the index's rows (it lets go of them while hidden).
    static bool ListShowsRows(CIndexDoc* doc)
    {
        return ListViewOf(doc) && ListViewOf(doc)->GetControlRef()->model() == &doc->GetModel().ItemTable();
    }

    std::optional<StIndexDocServices> classes;
};

} // namespace

// ---------------------------------------------------------------------------
// Making and finding documents

TEST_F(IndexDocument, UntitledIndexesAreNumberedAfterTheFirst)
{
    CIndexDoc* first = new CIndexDoc(nullptr, {}, false, false);
    CIndexDoc* second = new CIndexDoc(nullptr, {}, false, false);
    CIndexDoc* third = new CIndexDoc(nullptr, {}, false, false);
    EXPECT_EQ(first->GetDescriptor(), "Untitled");
    EXPECT_EQ(second->GetDescriptor(), "Untitled 1");
    EXPECT_EQ(third->GetDescriptor(), "Untitled 2");
    delete second;
    EXPECT_EQ((new CIndexDoc(nullptr, {}, false, false))->GetDescriptor(), "Untitled 1");
    EXPECT_FALSE(first->IsSpecified());
    EXPECT_FALSE(first->GetPackage());
    EXPECT_EQ(first->GetToolbar()->GetIdentifier(), "org.orvex.indextoolbar7");
    EXPECT_TRUE(first->IsToolbarShown());
}

TEST_F(IndexDocument, AURLWithoutTheOpenFlagIsRefused)
{
    try {
        new CIndexDoc(nullptr, QUrl::fromLocalFile(FreshDir("refused") + "/A.idxp/"), false, false);
        FAIL() << "made a document";
    } catch (const ExceptionCode& e) {
        EXPECT_EQ(e.Code(), kMsgIndexDocOperation);
    }
    EXPECT_TRUE(LDocument::GetDocumentList().empty());
}

TEST_F(IndexDocument, AHiddenUntitledIndexWaitsOffScreen)
{
    CIndexDoc* doc = new CIndexDoc(nullptr, {}, false, true);
    EXPECT_TRUE(doc->TestFlags(kDocKeepHidden));
    EXPECT_FALSE(doc->GetWindow()->IsVisible());
    QRect bounds;
    doc->GetWindow()->GetGlobalBounds(bounds);
    EXPECT_LT(bounds.left(), -5000);
}

TEST_F(IndexDocument, PackagesFoldersAndWindowsFindTheirDocument)
{
    const QString dir = FreshDir("find");
    QDir().mkpath(dir + "/Trip.idxp");
    QDir().mkpath(dir + "/Folder");
    CIndexDoc* package = new CIndexDoc(nullptr, QUrl::fromLocalFile(dir + "/Trip.idxp"), true, false);
    EXPECT_EQ(package->GetDescriptor(), "Trip");
    EXPECT_TRUE(package->IsSpecified());
    EXPECT_EQ(classes->tasks.readTasks, 1);
    EXPECT_TRUE(package->GetWindow()->IsVisible()); // the read task showed it

    CIndexDoc* folder = new CIndexDoc(nullptr, QUrl::fromLocalFile(dir + "/Folder"), true, false);
    EXPECT_EQ(folder->GetDescriptor(), "Folder");
    EXPECT_TRUE(folder->IsImportedFolderProxy());
    ASSERT_EQ(classes->tasks.importedFolders.size(), 1u);
    EXPECT_EQ(classes->tasks.importedFolders[0].Path(), dir + "/Folder");

    // Two windows with one title: each finds its own document.
    folder->SetWindowTitleCF("Trip");
    EXPECT_EQ(CIndexDoc::FindDocForWindow(package->GetWindow()), package);
    EXPECT_EQ(CIndexDoc::FindDocForWindow(folder->GetWindow()), folder);
    EXPECT_EQ(CIndexDoc::FindDocForPackage(QUrl::fromLocalFile(dir + "/Trip.idxp/")), package);
    EXPECT_EQ(CIndexDoc::FindDocForPackage(QUrl::fromLocalFile(dir + "/Folder")), nullptr);
    EXPECT_THROW(CIndexDoc::FindDocForWindow(nullptr), ExceptionCode);

    // A missing folder leaves an empty window with the preference frame.
    CIndexDoc* gone = new CIndexDoc(nullptr, QUrl::fromLocalFile(dir + "/Gone"), true, false);
    EXPECT_EQ(gone->CountAllItems(), 0);
    EXPECT_EQ(classes->tasks.importedFolders.size(), 1u);
}

TEST_F(IndexDocument, AnEmptyUntitledIndexIsNeverModifiedAndClosesWithoutAsking)
{
    CIndexDoc* doc = new CIndexDoc(nullptr, {}, false, false);
    doc->GetModel().SetModified(true);
    EXPECT_FALSE(doc->IsModified());
    EXPECT_TRUE(doc->AttemptClose(true));
    EXPECT_FALSE(HasDocument(doc));
}

TEST_F(IndexDocument, BusyViewsAndRunningTasksKeepTheDocumentOpen)
{
    CIndexDoc* doc = new CIndexDoc(nullptr, {}, false, false);
    doc->GetModel().AddRunningTask(false);
    EXPECT_FALSE(doc->AttemptClose(true));
    EXPECT_FALSE(doc->AttemptQuitSelf(0));
    EXPECT_TRUE(HasDocument(doc));
    EXPECT_GE(classes->tasks.stops, 2); // their tasks were asked to stop
}

// ---------------------------------------------------------------------------
// Window layout and commands

TEST_F(IndexDocument, SidePanesCollapseAndComeBackWithTheirWidth)
{
    SetPrefNumber("DefaultSourceViewWidth", -220);
    CIndexDoc* doc = new CIndexDoc(nullptr, {}, false, false);
    EXPECT_FALSE(doc->IsSourceViewShown());
    EXPECT_EQ(doc->GetSourceViewWidth(), -220);
    LPane* middle = doc->GetWindow()->FindPaneByID(kPaneMiddle);
    ASSERT_TRUE(middle);
    EXPECT_EQ(middle->GetFrame().left(), 0);

    doc->ObeyCommand(cmd_HideSource, nullptr); // shows it
    EXPECT_EQ(doc->GetSourceViewWidth(), 220);
    EXPECT_EQ(middle->GetFrame().left(), 220);
    doc->SetOrganizerViewWidth(190);
    doc->ObeyCommand(cmd_HideOrganizer, nullptr);
    doc->ObeyCommand(cmd_HideOrganizer, nullptr);
    EXPECT_EQ(doc->GetOrganizerViewWidth(), 190);
    EXPECT_EQ(middle->GetFrame().x() + middle->GetFrame().width(),
        doc->GetWindow()->FindPaneByID(kPaneOrganizerSide)->GetFrame().x());
}

TEST_F(IndexDocument, ViewModesSwitchBetweenTheIndexViewAndTheList)
{
    CIndexDoc* doc = new CIndexDoc(nullptr, {}, false, false);
    int modeMessages = 0;
    struct Counter : LListener {
        int& count;
        explicit Counter(int& c)
            : count(c)
        {
        }
        void ListenToMessage(MessageT message, void*) override { count += message == msg_IndexViewModeChanged; }
    } counter(modeMessages);
    IndexViewOf(doc)->AddListener(&counter);

    doc->ObeyCommand(kCmdListView, nullptr);
    EXPECT_TRUE(ListShowsRows(doc));
    EXPECT_TRUE(doc->GetListViewPane()->isVisibleTo(doc->GetWindow()));
    EXPECT_FALSE(doc->GetWindow()->FindPaneByID(kPaneIndexContainer)->isVisibleTo(doc->GetWindow()));
    doc->ObeyCommand(kCmdExtendedView, nullptr);
    EXPECT_FALSE(ListShowsRows(doc));
    EXPECT_FALSE(doc->GetListViewPane()->isVisibleTo(doc->GetWindow()));
    EXPECT_TRUE(IndexViewOf(doc)->IsExtendedView());
    doc->SetViewMode(12345); // nothing to switch, still announced
    EXPECT_EQ(modeMessages, 3);

    Boolean enabled = false, usesMark = false;
    UInt16 mark = 0;
    Str255 name;
    doc->FindCommandStatus(kCmdExtendedView, enabled, usesMark, mark, name);
    EXPECT_EQ(mark, checkMark);
    doc->FindCommandStatus(kCmdThumbnailView, enabled, usesMark, mark, name);
    EXPECT_EQ(mark, noMark);
}

TEST_F(IndexDocument, TheStatusBarAndToolbarToggleAndNameTheirCommands)
{
    CIndexDoc* doc = new CIndexDoc(nullptr, {}, false, false);
    doc->ShowWindow();
    QApplication::processEvents();
    LPane* content = doc->GetWindow()->FindPaneByID(kPaneContent);
    LPane* bar = doc->GetWindow()->FindPaneByID(kPaneInfoPlacard);
    Boolean enabled = false, usesMark = false;
    UInt16 mark = 0;
    Str255 name;
    auto label = [&] {
        doc->FindCommandStatus(cmd_ToggleStatusBar, enabled, usesMark, mark, name);
        EXPECT_TRUE(enabled);
        return PStringToQString(name);
    };
    // Hidden by the preferences: the content reaches the window's foot.
    const QRect hidden = content->GetFrame();
    EXPECT_FALSE(doc->IsStatusBarShown());
    EXPECT_FALSE(bar->isVisible());
    EXPECT_EQ(hidden.top(), 0);
    EXPECT_EQ(label(), "Show Status Bar");
    // Shown: the one bar with the counts, at the foot, right under the content.
    doc->ObeyCommand(cmd_ToggleStatusBar, nullptr);
    QApplication::processEvents();
    EXPECT_TRUE(doc->IsStatusBarShown());
    EXPECT_TRUE(bar->isVisible());
    EXPECT_EQ(label(), "Hide Status Bar");
    EXPECT_EQ(content->GetFrame().top(), hidden.top());
    EXPECT_EQ(content->GetFrame().bottom() + 1, bar->GetFrame().top());
    EXPECT_EQ(bar->GetFrame().bottom(), hidden.bottom());
    EXPECT_EQ(doc->GetWindow()->FindPaneByID(950), nullptr) << "a second, empty strip";
    doc->ObeyCommand(cmd_ToggleStatusBar, nullptr);
    QApplication::processEvents();
    EXPECT_EQ(content->GetFrame(), hidden);
    EXPECT_FALSE(bar->isVisible());
    EXPECT_EQ(label(), "Show Status Bar");
    // A new window shows the bar unless the user hid it.
    SetPrefDefault(QStringLiteral("IndexShowStatusBar"));
    CIndexDoc* fresh = new CIndexDoc(nullptr, {}, false, false);
    EXPECT_TRUE(fresh->IsStatusBarShown());
    fresh->FindCommandStatus(cmd_ToggleStatusBar, enabled, usesMark, mark, name);
    EXPECT_EQ(PStringToQString(name), "Hide Status Bar");

    doc->FindCommandStatus(cmd_ToggleToolbar, enabled, usesMark, mark, name);
    EXPECT_EQ(PStringToQString(name), "Hide Toolbar");
    doc->GetWindow()->SetToolBarVisible(false); // hidden from the window itself
    doc->FindCommandStatus(cmd_ToggleToolbar, enabled, usesMark, mark, name);
    EXPECT_EQ(PStringToQString(name), "Show Toolbar");
    doc->ObeyCommand(cmd_ToggleToolbar, nullptr);
    EXPECT_TRUE(doc->GetToolbar()->IsVisible());
}

TEST_F(IndexDocument, ALockedWindowEnablesNoCommand)
{
    CIndexDoc* doc = new CIndexDoc(nullptr, {}, false, false);
    gIndexWindowLocked = true;
    for (CommandT command : { CommandT(cmd_Save), CommandT(cmd_Close), CommandT(cmd_ImportFiles),
             CommandT(kCmdListView), CommandT(cmd_RebuildThumbnails), CommandT(cmd_ToggleStatusBar) }) {
        Boolean enabled = false, usesMark = false;
        UInt16 mark = 0;
        Str255 name;
        doc->FindCommandStatus(command, enabled, usesMark, mark, name);
        EXPECT_FALSE(enabled) << command;
    }
    gIndexWindowLocked = false;
    Boolean enabled = false, usesMark = false;
    UInt16 mark = 0;
    Str255 name;
    doc->FindCommandStatus(cmd_ImportFiles, enabled, usesMark, mark, name);
    EXPECT_TRUE(enabled);
    doc->ObeyCommand(cmd_ImportFiles, nullptr);
    doc->ObeyCommand(cmd_FindDuplicates, nullptr);
    EXPECT_EQ(classes->tasks.importFilesTasks, 1);
    EXPECT_EQ(classes->tasks.searchCommands, std::vector<SInt32> { cmd_FindDuplicates });
}

// ---------------------------------------------------------------------------
// Saving

TEST_F(IndexDocument, TheSaveSheetOffersTheTitleAsAPackageName)
{
    CIndexDoc* doc = new CIndexDoc(nullptr, {}, false, false);
    doc->SetWindowTitleCF("Pictures");
    doc->AskSaveAs();
    auto* dialog = SheetOf<QFileDialog>(doc);
    ASSERT_TRUE(dialog);
    EXPECT_EQ(dialog->findChild<QLineEdit*>("fileNameEdit")->text(), "Pictures.idxp");
    dialog->reject();
    QApplication::processEvents();
    EXPECT_EQ(doc->GetPendingSaveAction(), kPendingNone);

    doc->SetWindowTitleCF("Trip.idxp");
    doc->AskSaveAs();
    dialog = SheetOf<QFileDialog>(doc);
    ASSERT_TRUE(dialog);
    EXPECT_EQ(dialog->findChild<QLineEdit*>("fileNameEdit")->text(), "Trip.idxp");
    dialog->reject();
}

TEST_F(IndexDocument, TheMediaButtonsSetTheViewOptionsAndThePreferencesAtEachClick)
{
    CIndexDoc* doc = new CIndexDoc(nullptr, {}, false, false);
    doc->AskSaveAs();
    auto* dialog = SheetOf<QFileDialog>(doc);
    ASSERT_TRUE(dialog);
    EXPECT_TRUE(dialog->findChild<QRadioButton*>("mediaOption1")->isChecked());
    dialog->findChild<QRadioButton*>("mediaOption2")->click();
    EXPECT_TRUE(doc->GetModel().TestFlags(kViewOptionStoreMedia));
    EXPECT_FALSE(doc->GetModel().TestFlags(kViewOptionRemoveMedia));
    EXPECT_TRUE(GetPrefBoolean("IndexStoreMediaFile"));
    EXPECT_FALSE(GetPrefBoolean("IndexRemoveMediaFile"));
    dialog->findChild<QRadioButton*>("mediaOption3")->click();
    EXPECT_TRUE(doc->GetModel().TestFlags(kViewOptionStoreMedia | kViewOptionRemoveMedia));
    EXPECT_TRUE(GetPrefBoolean("IndexRemoveMediaFile"));
    EXPECT_EQ(doc->GetMediaOptionButton(), 3);
    dialog->findChild<QRadioButton*>("mediaOption1")->click();
    EXPECT_FALSE(GetPrefBoolean("IndexStoreMediaFile"));
    dialog->reject();
}

TEST_F(IndexDocument, SaveAsMakesTheNewPackageAndLeavesTheOldOneAsItWas)
{
    const QString dir = FreshDir("saveas");
    CIndexDoc* doc = new CIndexDoc(nullptr, {}, false, false);
    Fill(doc, dir, 2);
    ASSERT_TRUE(doc->IsModified());

    // First save: the sheet, a new package, the write task.
    doc->ObeyCommand(cmd_Save, nullptr);
    AcceptSaveSheet(doc, dir, "First");
    ASSERT_TRUE(doc->GetPackage());
    EXPECT_EQ(doc->GetPackage()->GetPackageURL().toLocalFile(), dir + "/First.idxp/");
    EXPECT_EQ(doc->GetDescriptor(), "First");
    EXPECT_TRUE(doc->IsSpecified());
    EXPECT_FALSE(doc->IsModified());
    EXPECT_EQ(classes->tasks.writeTasks, 1);
    EXPECT_EQ(classes->app.recent, std::vector<QUrl> { QUrl::fromLocalFile(dir + "/First.idxp/") });
    const QByteArray firstSettings = ReadWholeFile(dir + "/First.idxp/settings.xml");
    ASSERT_FALSE(firstSettings.isEmpty());

    // Save As again and keep working in the new package.
    CIndexPackage* first = doc->GetPackage();
    doc->ObeyCommand(cmd_SaveAs, nullptr);
    AcceptSaveSheet(doc, dir, "Second.idxp");
    EXPECT_NE(doc->GetPackage(), first);
    EXPECT_EQ(doc->GetDescriptor(), "Second");
    EXPECT_EQ(first->GetPackageURL().toLocalFile(), dir + "/First.idxp/"); // still alive for its items
    doc->GetModel().Settings().comment = "changed later";
    doc->ObeyCommand(cmd_Save, nullptr);
    EXPECT_EQ(classes->tasks.writeTasks, 3);
    EXPECT_EQ(ReadWholeFile(dir + "/First.idxp/settings.xml"), firstSettings);
    QVariant second;
    ASSERT_EQ(PropertyList::ReadFile(dir + "/Second.idxp/settings.xml", second), noErr);
    EXPECT_EQ(second.toMap().value("Comment").toString(), "changed later");
    EXPECT_EQ(CIndexDoc::FindDocForPackage(QUrl::fromLocalFile(dir + "/Second.idxp")), doc);
    EXPECT_EQ(CIndexDoc::FindDocForPackage(QUrl::fromLocalFile(dir + "/First.idxp")), nullptr);
}

TEST_F(IndexDocument, ClosingAskAboutChangesAndActsOnTheAnswer)
{
    const QString dir = FreshDir("close");
    CIndexDoc* doc = new CIndexDoc(nullptr, {}, false, false);
    Fill(doc, dir, 1);

    // Cancel keeps everything.
    EXPECT_FALSE(doc->AttemptClose(true));
    EXPECT_EQ(doc->GetPendingSaveAction(), kPendingClose);
    Answer(doc, QMessageBox::Cancel);
    EXPECT_EQ(doc->GetPendingSaveAction(), kPendingNone);
    EXPECT_TRUE(HasDocument(doc));

    // Save on an untitled index goes to the save sheet, then closes once written.
    doc->AttemptClose(true);
    Answer(doc, QMessageBox::Save);
    AcceptSaveSheet(doc, dir, "Closing");
    EXPECT_FALSE(HasDocument(doc));
    EXPECT_TRUE(QFile::exists(dir + "/Closing.idxp/settings.xml"));
}

TEST_F(IndexDocument, DontSaveWhileQuittingClosesAndGoesOnQuitting)
{
    const QString dir = FreshDir("quit");
    CIndexDoc* doc = new CIndexDoc(nullptr, {}, false, false);
    Fill(doc, dir, 1);
    EXPECT_FALSE(doc->AttemptQuitSelf(0));
    EXPECT_EQ(doc->GetPendingSaveAction(), kPendingQuit);
    Answer(doc, QMessageBox::Discard);
    EXPECT_FALSE(HasDocument(doc));
    EXPECT_EQ(classes->app.quitContinued, 1);
    EXPECT_FALSE(QDir(dir).entryList().contains("settings.xml"));

    // 'no  ' quits without asking.
    CIndexDoc* other = new CIndexDoc(nullptr, {}, false, false);
    Fill(other, dir, 1);
    EXPECT_TRUE(other->AttemptQuitSelf('no  '));
    EXPECT_FALSE(HasDocument(other));
}

TEST_F(IndexDocument, AutoSaveWritesASavedIndexWithoutAsking)
{
    const QString dir = FreshDir("autosave");
    QDir().mkpath(dir + "/Auto.idxp");
    SetPrefBoolean("IndexAutoSave", true);
    CIndexDoc* doc = new CIndexDoc(nullptr, QUrl::fromLocalFile(dir + "/Auto.idxp"), true, false);
    Fill(doc, dir, 1);
    EXPECT_FALSE(doc->AttemptClose(true));
    EXPECT_TRUE(HasDocument(doc)); // the close waits for the event loop
    QApplication::processEvents();
    // The write ended and its pending close ran.
    EXPECT_EQ(classes->tasks.writeTasks, 1);
    EXPECT_FALSE(HasDocument(doc));

    // An untitled one is still asked.
    CIndexDoc* untitled = new CIndexDoc(nullptr, {}, false, false);
    Fill(untitled, dir, 1);
    untitled->AttemptClose(true);
    EXPECT_TRUE(qobject_cast<QMessageBox*>(untitled->GetSheet()));
    Answer(untitled, QMessageBox::Cancel);
}

TEST_F(IndexDocument, AFailedSaveKeepsTheDocumentAndDropsThePendingAction)
{
    const QString dir = FreshDir("failedsave");
    QDir().mkpath(dir + "/Kept.idxp");
    SetPrefBoolean("IndexAutoSave", true);
    CIndexDoc* doc = new CIndexDoc(nullptr, QUrl::fromLocalFile(dir + "/Kept.idxp"), true, false);
    Fill(doc, dir, 1);
    classes->tasks.holdWrites = true;
    doc->AttemptClose(true);
    ASSERT_EQ(classes->tasks.heldWrite, doc);
    classes->tasks.FinishWrite(doc, false);
    EXPECT_TRUE(HasDocument(doc));
    EXPECT_TRUE(doc->IsModified());
    EXPECT_EQ(doc->GetPendingSaveAction(), kPendingNone);
}

TEST_F(IndexDocument, ASaveWhileQuittingGoesOnQuittingASecondLater)
{
    const QString dir = FreshDir("quitsave");
    QDir().mkpath(dir + "/Q.idxp");
    CIndexDoc* doc = new CIndexDoc(nullptr, QUrl::fromLocalFile(dir + "/Q.idxp"), true, false);
    Fill(doc, dir, 1);
    classes->tasks.holdWrites = true;
    EXPECT_FALSE(doc->AttemptQuitSelf(0));
    Answer(doc, QMessageBox::Save);
    ASSERT_EQ(classes->tasks.heldWrite, doc);
    classes->tasks.FinishWrite(doc, true);
    EXPECT_EQ(doc->GetPendingSaveAction(), kPendingNone);
    QElapsedTimer clock;
    clock.start();
    while (classes->app.quitContinued == 0 && clock.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_EQ(classes->app.quitContinued, 1);
    EXPECT_GE(clock.elapsed(), 900);
    EXPECT_TRUE(HasDocument(doc)); // the next quit finds it saved and closes it
    EXPECT_TRUE(doc->AttemptQuitSelf(0));
}

TEST_F(IndexDocument, OpeningIntoAModifiedWindowAsksFirstAndReusesTheWindow)
{
    const QString dir = FreshDir("reuse");
    QDir().mkpath(dir + "/Next.idxp");
    CIndexDoc* doc = new CIndexDoc(nullptr, {}, false, false);
    Fill(doc, dir, 1);
    LWindow* window = doc->GetWindow();
    doc->OpenInWindow(QUrl::fromLocalFile(dir + "/Next.idxp"));
    EXPECT_EQ(doc->GetPendingSaveAction(), kPendingReuse);
    Answer(doc, QMessageBox::Discard);
    ASSERT_TRUE(HasDocument(doc));
    EXPECT_EQ(doc->GetWindow(), window);
    EXPECT_TRUE(doc->TestFlags(kDocWindowReused));
    EXPECT_EQ(doc->GetDescriptor(), "Next");
    EXPECT_EQ(doc->GetPackage()->GetPackageURL().toLocalFile(), dir + "/Next.idxp/");
    EXPECT_EQ(doc->GetPendingSaveAction(), kPendingNone);
    EXPECT_EQ(doc->GetModel().CountAllItems(), 0);
    EXPECT_FALSE(doc->GetModel().IsModified());
    EXPECT_EQ(classes->tasks.writeTasks, 0);
    EXPECT_EQ(classes->tasks.readTasks, 1);
}

TEST_F(IndexDocument, RevertOpensThePackageAgainInANewDocument)
{
    const QString dir = FreshDir("revert");
    QDir().mkpath(dir + "/Rev.idxp");
    CIndexDoc* doc = new CIndexDoc(nullptr, QUrl::fromLocalFile(dir + "/Rev.idxp"), true, false);
    Fill(doc, dir, 1);
    doc->ObeyCommand(cmd_Revert, nullptr);
    Answer(doc, QMessageBox::Discard);
    ASSERT_EQ(classes->app.reopened.size(), 1u);
    EXPECT_EQ(classes->app.documentsWhenReopened, 0u); // the old one was gone first
    EXPECT_EQ(classes->app.reopened[0].toLocalFile(), dir + "/Rev.idxp/");
    ASSERT_EQ(LDocument::GetDocumentList().size(), 1u);
    auto* reopened = dynamic_cast<CIndexDoc*>(LDocument::GetDocumentList().front());
    ASSERT_TRUE(reopened);
    EXPECT_EQ(reopened->CountAllItems(), 0);
    EXPECT_EQ(reopened->GetDescriptor(), "Rev");
}

// ---------------------------------------------------------------------------
// Printing

namespace {

QString PdfText(const QString& pdf)
{
    QProcess process;
    process.start("pdftotext", { "-layout", pdf, "-" });
    EXPECT_TRUE(process.waitForFinished(30000));
    return QString::fromUtf8(process.readAllStandardOutput());
}

int PdfPages(const QString& pdf)
{
    QProcess process;
    process.start("pdfinfo", { pdf });
    EXPECT_TRUE(process.waitForFinished(30000));
    for (const QString& line : QString::fromUtf8(process.readAllStandardOutput()).split('\n')) {
        if (line.startsWith("Pages:"))
            return line.mid(6).trimmed().toInt();
    }
    return -1;
}

} // namespace

TEST_F(IndexDocument, PrintsEveryPageWithItsHeaderAndFooter)
{
    const QString dir = FreshDir("print");
    SetPrefBoolean("PrintHeader", true);
    SetPrefBoolean("PrintFooter", true);
    CIndexDoc* doc = new CIndexDoc(nullptr, {}, false, false);
    doc->SetWindowTitleCF("Harbour Photos");
    Fill(doc, dir, 150); // more rows of cells than a letter page holds

    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setPageSize(QPageSize(QPageSize::Letter));
    printer.setOutputFileName(dir + "/index.pdf");
    const SInt32 printed = doc->PrintTo(printer);
    EXPECT_GE(printed, 2);
    EXPECT_EQ(PdfPages(dir + "/index.pdf"), printed);
    const QString text = PdfText(dir + "/index.pdf");
    EXPECT_EQ(text.count("Harbour Photos"), printed);
    for (SInt32 page = 1; page <= printed; ++page)
        EXPECT_TRUE(text.contains(QStringLiteral("Page %1 of %2").arg(page).arg(printed))) << page;
    // The first and the last item are printed, each once.
    EXPECT_EQ(text.count(QRegularExpression("\\bphoto0\\b")), 1) << text.toStdString();
    EXPECT_EQ(text.count(QRegularExpression("\\bphoto149\\b")), 1);

    // The view is back in its window, as it was.
    EXPECT_EQ(doc->GetIndexViewPane()->GetSuperView(), doc->GetWindow()->FindPaneByID(kPaneIndexContainer));
    EXPECT_EQ(dynamic_cast<CIndexViewDocument*>(doc->GetIndexView())->GetPrintScale(), 1.0);
}

TEST_F(IndexDocument, PrintsWithoutHeaderAndFooterWhenTheyAreOff)
{
    const QString dir = FreshDir("print-plain");
    SetPrefBoolean("PrintHeader", false);
    SetPrefBoolean("PrintFooter", false);
    CIndexDoc* doc = new CIndexDoc(nullptr, {}, false, false);
    doc->SetWindowTitleCF("Plain Index");
    Fill(doc, dir, 2);
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir + "/plain.pdf");
    EXPECT_EQ(doc->PrintTo(printer), 1);
    const QString text = PdfText(dir + "/plain.pdf");
    EXPECT_FALSE(text.contains("Plain Index"));
    EXPECT_FALSE(text.contains("Page 1"));
    EXPECT_TRUE(text.contains("photo1"));
}

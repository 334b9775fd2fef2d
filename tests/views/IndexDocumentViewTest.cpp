// The index document with the real index view in its window.

#include "CCriteria.h"
#include "CIndexDoc.h"
#include "CIndexItem.h"
#include "CIndexListView.h"
#include "CIndexPackage.h"
#include "CIndexView.h"
#include "CIndexViewDocument.h"
#include "CSearchTask.h"
#include "CVisualTask.h"
#include "FieldKeys.h"
#include "IndexTheme.h"
#include "IndexWindowTest.h"
#include "InterfaceClasses.h"
#include "LDocument.h"
#include "LMenuBar.h"
#include "LThread.h"
#include "LWindow.h"
#include "PrefKeys.h"
#include "PrintDialogAnswer.h"
#include "Preferences.h"
#include "PropertyList.h"
#include "TaskServices.h"
#include "UPageFormat.h"
#include "URegistrar.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPageSetupDialog>
#include <QPalette>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <vector>

namespace {

// Reading applies settings.xml; writing writes it; both at once.
class SettingsTasks : public TaskServices {
public:
    void ShowSearchWindow(CIndexModel&, SInt32) override { }
    void StartImportFilesTask(CIndexModel&) override { }
    void StartImportFolderTask(CIndexModel&, const FileRef&, SInt32, SInt32) override { }
    void StartReadIndexPackageTask(CIndexDoc* document) override
    {
        if (QFile::exists(document->GetPackage()->GetSettingsURL().toLocalFile()))
            document->ReadSettings(false);
        document->ShowWindow();
    }
    void StartWriteIndexTask(CIndexDoc* document) override { document->WriteSettings(false); }
    void StopTasksOfOwner(CIndexModel&) override { }
};

class IndexDocumentView : public IndexWindowTest {
protected:
    void SetUp() override
    {
        IndexWindowTest::SetUp();
        SetTaskServices(&mTasks);
        SetPrefBoolean("SaveViewSettingsCloseWindow", false);
        SetPrefBoolean("IndexShowStatusBar", true);
        SetPrefNumber("DefaultIndexWindowWidth", 760);
        SetPrefNumber("DefaultIndexWindowHeigth", 520);
    }

    // A new index's window, shown with its grid as the command target.
    CIndexView* ShowNewIndex(const QString& title, CIndexDoc*& doc)
    {
        doc = new CIndexDoc(nullptr, {}, false, false);
        doc->SetWindowTitleCF(title);
        auto* view = dynamic_cast<CIndexView*>(doc->GetIndexViewPane());
        if (view) {
            doc->ShowWindow();
            LCommander::SwitchTarget(view);
        }
        return view;
    }

    // Print in the window, answering the print dialog with a PDF file on A4;
    // true when the file was written.
    bool PrintToPDF(CIndexView* view, const QString& pdf, const QString& sheetShot)
    {
        StPrintDialogToPDF answer(pdf, [&](QPrintDialog& dialog) {
            dialog.grab().save(QStringLiteral(ORVEX_ARTEFACT_DIR "/%1.png").arg(sheetShot));
        });
        EXPECT_TRUE(view->ProcessCommand(cmd_Print));
        return LThread::RunUntil([&] { return answer.Answered() && QFileInfo(pdf).size() > 0; }, 20000);
    }

    // The first page of a PDF as the paper shows it, in grey.
    static QImage FirstPage(const QString& pdf)
    {
        QProcess render;
        render.start("pdftoppm", { "-r", "60", "-gray", "-singlefile", "-f", "1", "-l", "1", "-png", pdf, pdf });
        EXPECT_TRUE(render.waitForFinished(30000));
        return QImage(pdf + ".png").convertToFormat(QImage::Format_Grayscale8);
    }

    // Runs a search of every item of the view whose result goes into a new index,
    // and answers that new index (null when none was made).
    static CIndexDoc* SearchIntoNewIndex(
        CIndexView* view, const QString& title, SInt16 kind, std::unique_ptr<CCriteria> criterion)
    {
        auto* task = new CSearchTask(title, view->GetModel(), kind);
        task->SetResultAction(kResultCopyToNewIndex);
        for (CIndexItem* item : view->GetItemList())
            task->InsertItem(item, kInsertAtEnd);
        task->AddCriterion(std::move(criterion));
        const size_t before = LDocument::GetDocumentList().size();
        task->Start();
        if (!LThread::RunUntil([&] { return view->CountRunningSearches() == 0; }, 5000)
            || LDocument::GetDocumentList().size() != before + 1)
            return nullptr;
        return dynamic_cast<CIndexDoc*>(LDocument::GetDocumentList().back());
    }

    void AddPhotos(CIndexDoc* doc, const QStringList& names)
    {
        for (const QString& name : names) {
            QImage image(64, 48, QImage::Format_RGB32);
            image.fill(QColor(qHash(name) % 255, 120, 200));
            const QString path = mDir + "/" + name;
            ASSERT_TRUE(image.save(path, "JPEG"));
            doc->GetModel().InsertItem(new CIndexItem(QUrl::fromLocalFile(path)), kInsertAtEnd, ItemInsert::Foreign);
        }
    }

    // The places of each cell's picture and names, in item order, from the top.
    struct CellParts {
        QRect cell, picture, text;
    };
    static std::vector<CellParts> PartsOfCells(CIndexView& view)
    {
        view.ScrollImageTo(0, 0, false);
        std::vector<CellParts> parts;
        for (SInt32 index = 1; index <= view.CountItems(); ++index) {
            CellParts part;
            CIndexItem* item = nullptr;
            if (!view.GetCellRect(index, part.cell) || !view.GetItemAt(index, item) || !item)
                ADD_FAILURE() << "no cell for item " << index;
            else {
                part.picture = item->GetPartRect(kItemPartPicture, part.cell, view);
                part.text = item->GetPartRect(kItemPartTextBlock, part.cell, view);
            }
            parts.push_back(part);
        }
        return parts;
    }

    SettingsTasks mTasks;
};

} // namespace

TEST_F(IndexDocumentView, TheWindowIsBuiltAroundTheIndexView)
{
    CIndexDoc* doc = new CIndexDoc(nullptr, {}, false, false);
    auto* view = dynamic_cast<CIndexView*>(doc->GetIndexViewPane());
    ASSERT_TRUE(view);
    EXPECT_EQ(view->GetContainingWindow(), doc->GetWindow());
    AddPhotos(doc, { "harbour.jpg", "boats.jpg", "market.jpg" });
    EXPECT_EQ(doc->CountAllItems(), 3);
    // The model's state is what the printing waits for.
    EXPECT_EQ(doc->GetModel().GetViewState(), kViewStateIdle);

    doc->ShowWindow();
    QApplication::processEvents();
    const QString shot = QDir(QCoreApplication::applicationDirPath()).filePath("index-window.png");
    EXPECT_TRUE(doc->GetWindow()->GetShell()->grab().save(shot));
}

TEST_F(IndexDocumentView, AClosedIndexsViewsLetGoOfItsModelWhileTheyWaitToBeDeleted)
{
    CIndexDoc* doc = nullptr;
    CIndexView* view = ShowNewIndex(QStringLiteral("Closing"), doc);
    ASSERT_TRUE(view);
    auto* list = dynamic_cast<CIndexListView*>(doc->GetListViewPane());
    ASSERT_TRUE(list);
    // The window's views show the document's model from the window's making.
    EXPECT_EQ(&view->GetModel(), &doc->GetModel());
    EXPECT_EQ(list->GetModel(), &doc->GetModel());
    AddPhotos(doc, { "harbour.jpg", "boats.jpg" });
    QApplication::processEvents();

    QPointer<CIndexView> alive(view);
    delete doc;
    // The window goes once the event that closed it is over; until then its views
    // hold nothing of the model that went, and what reaches them does nothing.
    ASSERT_TRUE(alive);
    EXPECT_FALSE(view->HasModel());
    EXPECT_EQ(list->GetModel(), nullptr);
    view->grab();
    QTest::keyClick(view, Qt::Key_Right);
    SInt32 zero = 0;
    view->ListenToMessage(msg_BatchChangedItems, &zero);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(alive);
}

TEST_F(IndexDocumentView, TheToolbarSearchFiltersByNameAndClearingShowsAllAgain)
{
    CIndexDoc* doc = new CIndexDoc(nullptr, {}, false, false);
    AddPhotos(doc, { "harbour-1.jpg", "boats.jpg", "Harbour-2.jpg" });
    const QString title = doc->GetWindow()->GetCFDescriptor();
    doc->StartQuickSearch(4001, "harbour");
    auto* view = dynamic_cast<CIndexView*>(doc->GetIndexViewPane());
    ASSERT_TRUE(view);
    ASSERT_TRUE(LThread::RunUntil([&] { return view->CountRunningSearches() == 0; }, 5000));
    EXPECT_TRUE(view->IsFiltered());
    EXPECT_EQ(doc->CountItems(), 2);
    EXPECT_EQ(doc->CountAllItems(), 3);
    // The window names the search while its result shows; a second one replaces it.
    EXPECT_EQ(doc->GetWindow()->GetCFDescriptor(), title + QStringLiteral(" [Search \"harbour\"]"));
    doc->StartQuickSearch(4001, "boats");
    ASSERT_TRUE(LThread::RunUntil([&] { return view->CountRunningSearches() == 0; }, 5000));
    EXPECT_EQ(doc->CountItems(), 1);
    EXPECT_EQ(doc->GetWindow()->GetCFDescriptor(), title + QStringLiteral(" [Search \"boats\"]"));
    doc->StartQuickSearch(4001, ""); // nothing to look for: all items show again
    EXPECT_FALSE(view->IsFiltered());
    EXPECT_EQ(doc->CountItems(), 3);
    EXPECT_EQ(doc->GetWindow()->GetCFDescriptor(), title);
}

TEST_F(IndexDocumentView, TheViewsKeysGoThroughSettingsXmlAndComeBack)
{
    const QString package = mDir + "/Kept.idxp";
    CIndexDoc* doc = new CIndexDoc(nullptr, QUrl::fromLocalFile(package), true, false);
    auto* view = dynamic_cast<CIndexView*>(doc->GetIndexViewPane());
    ASSERT_TRUE(view);
    view->SetComment("Summer");
    view->SetIndexURLText("https://example.org/summer");
    view->SetSortKey(4004, true);
    doc->ChooseMediaOption(3);
    doc->WriteSettings(false);

    QVariant written;
    ASSERT_EQ(PropertyList::ReadFile(package + "/settings.xml", written), noErr);
    const QVariantMap map = written.toMap();
    EXPECT_EQ(map.value("Comment").toString(), "Summer");
    EXPECT_EQ(map.value("URL").toString(), "https://example.org/summer");
    EXPECT_EQ(map.value("IndexSortKey").toLongLong(), 4004);
    EXPECT_EQ(map.value("IndexSortOrder").toLongLong(), 1);
    EXPECT_TRUE(map.value("IndexStoreMediaFile").toBool());
    EXPECT_TRUE(map.value("IndexRemoveMediaFile").toBool());
    delete doc;

    CIndexDoc* again = new CIndexDoc(nullptr, QUrl::fromLocalFile(package), true, false);
    auto* reopened = dynamic_cast<CIndexView*>(again->GetIndexViewPane());
    ASSERT_TRUE(reopened);
    EXPECT_EQ(reopened->GetComment(), "Summer");
    EXPECT_EQ(reopened->GetSortKey(), 4004);
    EXPECT_EQ(reopened->GetSortOrder(), 1);
    EXPECT_TRUE(reopened->TestFlags(kViewStoreMediaFile | kViewRemoveMediaFile));
    EXPECT_EQ(again->GetMediaOptionButton(), 3);
}

// Each printed page shows whole rows: the grid is laid out again for the page's
// body, no picture or name is cut by a page's edge, and the window gets its own
// grid back once the job is over.
TEST_F(IndexDocumentView, PrintedPagesHoldWholeRowsAndTheWindowGetsItsGridBack)
{
    CIndexDoc* doc = new CIndexDoc(nullptr, {}, false, false);
    auto* view = dynamic_cast<CIndexView*>(doc->GetIndexViewPane());
    ASSERT_TRUE(view);
    QStringList names;
    for (int i = 0; i < 40; ++i)
        names << QStringLiteral("photo%1.jpg").arg(i, 2, 10, QLatin1Char('0'));
    AddPhotos(doc, names);
    view->SetThumbnailSize(view->GetThumbnailSize(), false); // the window's own layout
    const QSize windowCell = view->GetCellSize();
    const QSize windowFrame = view->size();

    // The printout's body holds the view as its placeholder sizes it; a page is
    // the view's frame then, whether or not the cells stretch to fill the body.
    IndexDocViewServices* services = doc->GetIndexView();
    services->SetPrintScale(600 / 72.0);
    for (const bool fill : { true, false }) {
        for (const QSize body : { QSize(540, 700), QSize(468, 648) }) {
            StTempPrefBoolean fillAcross(QStringLiteral("AdjustThumbnailViewHorizontal"), fill);
            StTempPrefBoolean fillDown(QStringLiteral("AdjustThumbnailViewVertical"), fill);
            view->PlaceInSuperFrameAt(0, 0, false);
            view->ResizeFrameTo(body.width(), body.height(), false);
            services->PrepareForPrinting(600);
            const int page = view->height();
            ASSERT_GE(view->GetCellSize().height(), 1);
            // Whole cells, centred in the body.
            EXPECT_EQ(page % view->GetCellSize().height(), 0);
            EXPECT_LE(page, body.height());
            EXPECT_GT(page + view->GetCellSize().height(), body.height());
            EXPECT_EQ(view->y(), (body.height() - page) / 2);
            EXPECT_EQ(view->x(), (body.width() - view->width()) / 2);
            int index = 0;
            for (const CellParts& part : PartsOfCells(*view)) {
                ++index;
                EXPECT_EQ(part.picture.top() / page, part.picture.bottom() / page) << "picture " << index << " cut at a page's edge";
                EXPECT_EQ(part.text.top() / page, part.text.bottom() / page) << "name " << index << " cut at a page's edge";
                EXPECT_EQ(part.picture.top() / page, part.text.bottom() / page) << "cell " << index << " spread over two pages";
            }
        }
    }
    view->ResizeFrameTo(windowFrame.width(), windowFrame.height(), false);
    services->SetPrintScale(1.0);
    EXPECT_EQ(view->GetCellSize(), windowCell);
}

// A new index lays its cells out from the thumbnail size: each picture has its
// place above the names, inside its own cell, and no picture touches the next.
TEST_F(IndexDocumentView, ANewIndexGivesEachPictureRoomAboveItsNames)
{
    CIndexDoc* doc = new CIndexDoc(nullptr, {}, false, false);
    auto* view = dynamic_cast<CIndexView*>(doc->GetIndexViewPane());
    ASSERT_TRUE(view);
    AddPhotos(doc, { "harbour.jpg", "boats.jpg", "market.jpg", "quay.jpg", "nets.jpg", "gulls.jpg" });
    view->AdjustImageSize();
    int index = 0;
    for (const CellParts& part : PartsOfCells(*view)) {
        ++index;
        // Without a picture yet the whole square is the picture's place.
        EXPECT_EQ(part.picture.width(), view->GetThumbnailSize());
        EXPECT_LT(part.picture.bottom(), part.text.top()) << "the picture of " << index << " covers its names";
        EXPECT_TRUE(part.cell.adjusted(1, 1, -1, -1).contains(part.picture)) << "the picture of " << index << " leaves its cell";
    }
}

// Print in the index window: the command reaches the document through the view,
// the print dialog is answered with a PDF file, and every item is printed once
// with the grid in whole rows on its pages.
TEST_F(IndexDocumentView, ThePrintCommandPrintsTheGridThroughTheDialog)
{
    SetPrefBoolean("PrintHeader", false);
    SetPrefBoolean("PrintFooter", false);
    CIndexDoc* doc = nullptr;
    CIndexView* view = ShowNewIndex("Harbour", doc);
    ASSERT_TRUE(view);
    auto printEnabled = [view] {
        Boolean enabled = false, usesMark = false;
        UInt16 mark = 0;
        Str255 name;
        view->ProcessCommandStatus(cmd_Print, enabled, usesMark, mark, name);
        return bool(enabled);
    };
    EXPECT_FALSE(printEnabled()); // nothing to print in an empty index

    QStringList names;
    for (int i = 1; i <= 30; ++i)
        names << QStringLiteral("pier%1.jpg").arg(i, 2, 10, QLatin1Char('0'));
    AddPhotos(doc, names);
    view->SetThumbnailSize(96, false);
    // Not cut down by a window too small for it: the pages are laid out from it.
    ASSERT_EQ(view->GetThumbnailSize(), 96);
    const QSize windowCell = view->GetCellSize();
    const QSize windowFrame = view->size();
    EXPECT_TRUE(printEnabled());

    // The user chooses a PDF file in the print dialog.
    const QString pdf = mDir + "/harbour.pdf";
    ASSERT_TRUE(PrintToPDF(view, pdf, QStringLiteral("index-print-sheet")));

    QProcess info;
    info.start("pdfinfo", { pdf });
    ASSERT_TRUE(info.waitForFinished(30000));
    const QString pages = QString::fromUtf8(info.readAllStandardOutput());
    EXPECT_TRUE(pages.contains(QRegularExpression("Pages:\\s+[2-9]\\b"))) << pages.toStdString();
    QProcess text;
    text.start("pdftotext", { pdf, "-" });
    ASSERT_TRUE(text.waitForFinished(30000));
    const QString printed = QString::fromUtf8(text.readAllStandardOutput());
    for (const QString& photo : names) {
        const QString shown = QFileInfo(photo).completeBaseName();
        EXPECT_EQ(printed.count(QRegularExpression("\\b" + shown + "\\b")), 1) << shown.toStdString();
    }
    // The window has its grid back.
    EXPECT_EQ(view->GetContainingWindow(), doc->GetWindow());
    EXPECT_EQ(view->size(), windowFrame);
    EXPECT_EQ(view->GetCellSize(), windowCell);
}

// A window in a dark theme on a dark desktop prints as any other: names and
// captions in ink on white paper, the page header legible, no theme's
// background on the page.
TEST_F(IndexDocumentView, ADarkWindowPrintsInkOnWhitePaper)
{
    SetPrefBoolean("PrintHeader", true);
    SetPrefBoolean("PrintFooter", true);
    CIndexDoc* doc = nullptr;
    CIndexView* view = ShowNewIndex("Harbour at night", doc);
    ASSERT_TRUE(view);
    QStringList names;
    for (int i = 1; i <= 6; ++i)
        names << QStringLiteral("night%1.jpg").arg(i);
    AddPhotos(doc, names);
    view->SetThumbnailSize(96, false);

    const QString light = mDir + "/light.pdf";
    view->SetTheme(kSystemTheme, true);
    ASSERT_TRUE(PrintToPDF(view, light, QStringLiteral("index-print-sheet-light")));
    const QImage paper = FirstPage(light);
    ASSERT_FALSE(paper.isNull());
    paper.save(QStringLiteral(ORVEX_ARTEFACT_DIR "/index-print-light.png"));

    // The header's rule is one line; its title and the names need rows of ink.
    auto inkRows = [](const QImage& page, int top, int bottom) {
        int rows = 0;
        for (int y = top; y < bottom; ++y) {
            const uchar* line = page.constScanLine(y);
            rows += std::any_of(line, line + page.width(), [](uchar grey) { return grey < 96; }) ? 1 : 0;
        }
        return rows;
    };
    EXPECT_GE(inkRows(paper, 0, paper.height() / 8), 4) << "no legible page header";

    // The same window in Midnight on a dark desktop.
    SInt32 midnight = 0;
    const LMenu& themes = GetPatternMenu();
    for (SInt16 item = 1; item <= themes.CountItems(); ++item)
        if (themes.Item(item)->text == QLatin1String("Midnight"))
            midnight = item;
    ASSERT_GT(midnight, 0);
    QPalette dark = QApplication::palette();
    dark.setColor(QPalette::Window, QColor(0x24, 0x24, 0x28));
    dark.setColor(QPalette::WindowText, QColor(0xEE, 0xEE, 0xEE));
    dark.setColor(QPalette::Base, QColor(0x1E, 0x1E, 0x22));
    dark.setColor(QPalette::Text, QColor(0xEE, 0xEE, 0xEE));
    const QPalette before = QApplication::palette();
    QApplication::setPalette(dark);
    view->SetTheme(midnight, true);
    const QString night = mDir + "/night.pdf";
    const bool printed = PrintToPDF(view, night, QStringLiteral("index-print-sheet-dark"));
    QApplication::setPalette(before);
    ASSERT_TRUE(printed);
    const QImage nightPaper = FirstPage(night);
    nightPaper.save(QStringLiteral(ORVEX_ARTEFACT_DIR "/index-print-midnight.png"));
    ASSERT_EQ(nightPaper.size(), paper.size());
    int differing = 0;
    for (int y = 0; y < paper.height(); ++y)
        for (int x = 0; x < paper.width(); ++x)
            differing += std::abs(int(paper.pixelColor(x, y).value()) - int(nightPaper.pixelColor(x, y).value())) > 48;
    EXPECT_EQ(differing, 0) << "the theme or the desktop's colours reached the paper";
}

// Page setup in the index window: the sheet shows the index's page format, and
// the orientation chosen in it is what the next sheet shows when it was accepted,
// not when it was cancelled.
TEST_F(IndexDocumentView, ThePageSetupSheetKeepsTheChoiceItWasAcceptedWith)
{
    const QPageLayout a5(QPageSize(QPageSize::A5), QPageLayout::Portrait, QMarginsF(36, 36, 36, 36), QPageLayout::Point);
    Pref::IndexPrintSettings.Set(FlattenPageFormat(a5));
    CIndexDoc* doc = new CIndexDoc(nullptr, {}, false, false);
    auto* view = dynamic_cast<CIndexView*>(doc->GetIndexViewPane());
    ASSERT_TRUE(view);
    doc->ShowWindow();
    LCommander::SwitchTarget(view);

    struct Case {
        const char* choice; // the orientation clicked in the sheet
        QDialogButtonBox::StandardButton button;
        QPageLayout::Orientation shown; // by the sheet, before the choice
    };
    const Case cases[] = {
        {"landscape", QDialogButtonBox::Cancel, QPageLayout::Portrait},
        {"landscape", QDialogButtonBox::Ok, QPageLayout::Portrait},
        {"portrait", QDialogButtonBox::Cancel, QPageLayout::Landscape},
        {"portrait", QDialogButtonBox::Ok, QPageLayout::Landscape},
        {"portrait", QDialogButtonBox::Cancel, QPageLayout::Portrait},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.choice) + (c.button == QDialogButtonBox::Ok ? " accepted" : " cancelled"));
        QPageLayout shown;
        bool answered = false;
        QTimer answer;
        answer.setInterval(20);
        QObject::connect(&answer, &QTimer::timeout, [&] {
            for (QWidget* top : QApplication::topLevelWidgets()) {
                auto* dialog = qobject_cast<QPageSetupDialog*>(top);
                if (answered || !dialog || !dialog->isVisible())
                    continue;
                shown = dialog->printer()->pageLayout();
                if (&c == cases)
                    dialog->grab().save(QStringLiteral(ORVEX_ARTEFACT_DIR "/index-page-setup-sheet.png"));
                dialog->findChild<QRadioButton*>(QLatin1String(c.choice))->click();
                dialog->findChild<QDialogButtonBox*>()->button(c.button)->click();
                answered = true;
            }
        });
        answer.start();
        EXPECT_TRUE(view->ProcessCommand(cmd_PageSetup));
        ASSERT_TRUE(LThread::RunUntil([&] { return answered && !doc->GetSheet(); }, 20000));
        EXPECT_EQ(shown.pageSize().id(), QPageSize::A5);
        EXPECT_EQ(shown.orientation(), c.shown);
    }
}

TEST_F(IndexDocumentView, ANewIndexOfFoundItemsIsNamedAfterWhereTheyWereFound)
{
    CIndexDoc* doc = new CIndexDoc(nullptr, {}, false, false);
    doc->SetDescriptor(QStringLiteral("Harbour"));
    AddPhotos(doc, { "sea.jpg", "sky.jpg" });
    auto* view = dynamic_cast<CIndexView*>(doc->GetIndexViewPane());
    ASSERT_TRUE(view);
    // As the Search window runs a search of its index into a new one.
    CIndexDoc* result = SearchIntoNewIndex(view, QStringLiteral("601:39"), kSearchKindSearch,
        std::make_unique<CCriteria>(kFieldName, kSelectorContains, QStringLiteral("sea")));
    ASSERT_TRUE(result);
    EXPECT_EQ(result->GetWindow()->GetCFDescriptor(), QStringLiteral("Found in Harbour"));
    result->SetModified(false);
}

TEST_F(IndexDocumentView, DuplicatesCopiedIntoANewIndexLoseTheirMarkAndShowSelected)
{
    CIndexDoc* doc = new CIndexDoc(nullptr, {}, false, false);
    AddPhotos(doc, { "sea.jpg" });
    ASSERT_TRUE(QImage(mDir + "/sea.jpg").scaled(128, 96).save(mDir + "/sky.jpg")); // another size
    ASSERT_TRUE(QFile::copy(mDir + "/sea.jpg", mDir + "/sea copy.jpg"));
    for (const char* name : { "/sky.jpg", "/sea copy.jpg" })
        doc->GetModel().InsertItem(new CIndexItem(QUrl::fromLocalFile(mDir + name)), kInsertAtEnd, ItemInsert::Foreign);
    auto* view = dynamic_cast<CIndexView*>(doc->GetIndexViewPane());
    ASSERT_TRUE(view);
    CIndexDoc* result = SearchIntoNewIndex(view, QStringLiteral("601:42"), kSearchKindDuplicates,
        std::make_unique<CCriteria>(kDuplicatesCategory, kSelectorSameSize, QStringLiteral("-")));
    ASSERT_TRUE(result);
    auto* copies = dynamic_cast<CIndexView*>(result->GetIndexViewPane());
    ASSERT_TRUE(copies);
    ASSERT_EQ(copies->CountItems(), 2);
    CIndexItem* first = nullptr;
    CIndexItem* second = nullptr;
    ASSERT_TRUE(copies->GetItemAt(1, first) && copies->GetItemAt(2, second));
    EXPECT_EQ(copies->GetModel().SelectedItems(), std::vector<CIndexItem*> { second });
    EXPECT_FALSE(second->TestFlags(kItemFlagDuplicate));
    EXPECT_EQ(view->CountAllItems(), 3); // the owner keeps its items
    EXPECT_TRUE(result->IsModified()) << "the found items are held nowhere else until saved";
    const QString shot = QDir(QCoreApplication::applicationDirPath()).filePath("duplicates-index.png");
    EXPECT_TRUE(result->GetWindow()->GetShell()->grab().save(shot));
}

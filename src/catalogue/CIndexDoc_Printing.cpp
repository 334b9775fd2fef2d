// Printing an index: page setup and print sheets, and the printout of layout 950
// with the index view (or the list) in its body, a header with the index's name
// and a footer with the page count.

#include "CIndexDoc.h"

#include "CIndexPackage.h"
#include "ErrorReport.h"
#include "ExceptionCode.h"
#include "LPrintout.h"
#include "LWindow.h"
#include "Preferences.h"
#include "Printing.h"
#include "ThemeText.h"
#include "ThreadUtilities.h"
#include "UPageFormat.h"
#include "UReanimator.h"

#include <QCoreApplication>
#include <QDialog>
#include <QPagedPaintDevice>
#include <QTimer>

#include <algorithm>

namespace {

// Placeholders of the printout.
constexpr PaneIDT kBodyPlaceholder = 1;
constexpr PaneIDT kHeaderPlaceholder = 2;
constexpr PaneIDT kFooterPlaceholder = 3;

LPlaceHolder* RequirePlaceholder(LPrintout* printout, PaneIDT paneID)
{
    auto* holder = dynamic_cast<LPlaceHolder*>(printout->FindPaneByID(paneID));
    if (!holder)
        ThrowOSErr_(err_NilPointer, "printout placeholder " + std::to_string(paneID) + " is missing");
    return holder;
}

// A header or footer made from its layout.
std::unique_ptr<LPane> MakeCaption(ResIDT layoutID)
{
    std::unique_ptr<LPane> caption(UReanimator::CreatePaneTree(layoutID, nullptr));
    if (!dynamic_cast<IndexPrintCaption*>(caption.get()))
        ThrowOSErr_(err_NilPointer, "layout " + std::to_string(layoutID) + " is no print caption");
    return caption;
}

// Puts the printing state back however the job ends.
class StPrintJob {
public:
    StPrintJob(IndexDocViewServices& view, double scale)
        : mView(view)
        , mSavedPrinting(gPrintingInProgress)
        , mSavedPosition(view.GetModeScrollPosition())
    {
        gPrintingInProgress = true;
        mView.SetPrintScale(scale);
    }
    ~StPrintJob()
    {
        mView.SetPrintScale(1.0);
        gPrintingInProgress = mSavedPrinting;
        mView.SetModeScrollPosition(mSavedPosition, true);
    }
    StPrintJob(const StPrintJob&) = delete;
    StPrintJob& operator=(const StPrintJob&) = delete;

private:
    IndexDocViewServices& mView;
    UInt8 mSavedPrinting;
    SInt32 mSavedPosition;
};

} // namespace

void CIndexDoc::HandlePageSetup()
{
    std::shared_ptr<QPagedPaintDevice> printer = Printing::MakePrinter(mPrintSettings);
    QDialog* dialog = Printing::MakeDialog(
        Printing::Dialog::PageSetup, *printer, GetWindow()->GetShell(), [this, printer](bool accepted) {
            SheetFinished();
            if (accepted)
                mPrintSettings = FlattenPageFormat(printer->pageLayout());
        }).release();
    RunSheet(dialog);
}

void CIndexDoc::HandlePrint()
{
    std::shared_ptr<QPagedPaintDevice> printer = Printing::MakePrinter(mPrintSettings, GetDescriptor());
    QDialog* dialog = Printing::MakeDialog(
        Printing::Dialog::Print, *printer, GetWindow()->GetShell(), [this, printer](bool accepted) {
            SheetFinished();
            if (!accepted)
                return;
            // The dialog is still closing: it goes at the next turn of the event loop,
            // and printing turns it (the user may cancel between cells). So the job
            // starts once the dialog has finished, if the index is still open then.
            QTimer::singleShot(0, QCoreApplication::instance(), [this, printer] {
                const std::vector<LDocument*>& open = LDocument::GetDocumentList();
                if (std::find(open.begin(), open.end(), this) == open.end())
                    return;
                if (const ExceptionCode error = CatchException([&] { PrintTo(*printer); }); error.Code() != noErr)
                    ReportError(error);
            });
        }).release();
    RunSheet(dialog);
}

void CIndexDoc::DoPrint()
{
    PrintTo(*Printing::MakePrinter(mPrintSettings));
}

SInt32 CIndexDoc::PrintTo(QPagedPaintDevice& printer)
{
    // The view may still be being made by a task.
    while (mModel->GetViewState() == kViewStateReading)
        YieldToOtherThreads();

    std::unique_ptr<LPrintout> printout(LPrintout::CreatePrintout(kIndexPrintoutLayout));
    ThrowIfNil_(printout);
    const double resolution = printer.logicalDpiX();
    StPrintJob job(*mIndexView, resolution / 72.0);

    // The printout covers the page's printable area, in points; the header and
    // footer keep their layout heights and the body takes the rest.
    const QRectF page = printer.pageLayout().paintRect(QPageLayout::Point);
    const SInt32 pageWidth = SInt32(page.width());
    const SInt32 pageHeight = SInt32(page.height());
    printout->ResizeFrameTo(pageWidth, pageHeight, false);
    LPlaceHolder* body = RequirePlaceholder(printout.get(), kBodyPlaceholder);
    LPlaceHolder* header = RequirePlaceholder(printout.get(), kHeaderPlaceholder);
    LPlaceHolder* footer = RequirePlaceholder(printout.get(), kFooterPlaceholder);
    const SInt32 headerHeight = header->GetFrameSize().height;
    const SInt32 footerHeight = footer->GetFrameSize().height;
    header->PlaceInSuperFrameAt(0, 0, false);
    header->ResizeFrameTo(pageWidth, headerHeight, false);
    footer->PlaceInSuperFrameAt(0, pageHeight - footerHeight, false);
    footer->ResizeFrameTo(pageWidth, footerHeight, false);
    body->PlaceInSuperFrameAt(0, headerHeight, false);
    body->ResizeFrameTo(pageWidth, std::max<SInt32>(1, pageHeight - headerHeight - footerHeight), false);

    if (mIndexViewPane->isVisibleTo(GetWindow())) {
        body->InstallOccupant(mIndexViewPane);
        mIndexView->PrepareForPrinting(resolution);
    } else {
        body->InstallOccupant(mListViewPane);
    }

    std::unique_ptr<LPane> headerCaption;
    if (GetPrefBoolean(QStringLiteral("PrintHeader"))) {
        headerCaption = MakeCaption(kPrintHeaderLayout);
        dynamic_cast<IndexPrintCaption*>(headerCaption.get())->SetTitle(GetDescriptor());
        header->InstallOccupant(headerCaption.get());
    }
    std::unique_ptr<LPane> footerCaption;
    if (GetPrefBoolean(QStringLiteral("PrintFooter"))) {
        footerCaption = MakeCaption(kPrintFooterLayout);
        SInt32 across = 1, down = 1;
        printout->CountPanels(across, down);
        auto* caption = dynamic_cast<IndexPrintCaption*>(footerCaption.get());
        caption->SetPageCount(across * down);
        if (mPackage)
            caption->SetIndexURL(FileRef::FromUrl(mPackage->GetPackageURL()).Path());
        footer->InstallOccupant(footerCaption.get());
    }

    SInt32 printed = 0;
    try {
        printed = printout->DoPrintJob(printer);
    } catch (...) {
        header->RemoveOccupant();
        footer->RemoveOccupant();
        body->RemoveOccupant();
        throw;
    }
    // The captions belong to this job; the body's pane goes back to the window.
    header->RemoveOccupant();
    footer->RemoveOccupant();
    body->RemoveOccupant();
    return printed;
}

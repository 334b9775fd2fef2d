#include "Printing.h"

#include "ExceptionCode.h"
#include "Modules.h"
#include "UPageFormat.h"

#include <QDialog>
#include <QPagedPaintDevice>

// PrintJobs.cpp's entry, when it is linked into the program rather than loaded.
extern "C" const Printing::Jobs* OrvexPrintJobs() __attribute__((weak));

namespace Printing {

namespace {

const Jobs& LoadedJobs()
{
    static std::string error;
    static const Jobs* const jobs = ModuleTable(OrvexPrintJobs, "orvex-print", "OrvexPrintJobs", error);
    if (!jobs)
        ThrowOSErr_(kErrPrintingUnavailable, "printing is not available: " + error);
    return *jobs;
}

} // namespace

std::unique_ptr<QPagedPaintDevice> MakePrinter(const QByteArray& storedFormat, const QString& documentName)
{
    std::unique_ptr<QPagedPaintDevice> printer(LoadedJobs().makePrinter(documentName));
    QPageLayout layout = printer->pageLayout();
    if (!storedFormat.isEmpty() && UnflattenPageFormat(storedFormat, layout))
        printer->setPageLayout(layout);
    return printer;
}

std::unique_ptr<QDialog> MakeDialog(
    Dialog kind, QPagedPaintDevice& printer, QWidget* parent, std::function<void(bool accepted)> finished)
{
    return std::unique_ptr<QDialog>(LoadedJobs().makeDialog(kind, &printer, parent, std::move(finished)));
}

} // namespace Printing

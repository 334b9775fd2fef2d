#pragma once

#include "MacTypes.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

class QDialog;
class QPagedPaintDevice;
class QWidget;

// Printers and the print and page setup dialogs come from the module "orvex-print"
// (Qt Print Support), loaded at the first of them. The program draws on a printer as
// a paged paint device and takes its page rectangles from the device's page layout.
namespace Printing {

// The module is not there (or not loadable): nothing can be printed.
inline constexpr OSStatus kErrPrintingUnavailable = unimpErr;

enum class Dialog { PageSetup, Print };

// What the module gives: its entry, `OrvexPrintJobs`, answers it. Whatever it makes
// belongs to the caller.
struct Jobs {
    // A printer at high resolution named `documentName` for its job.
    QPagedPaintDevice* (*makePrinter)(const QString& documentName);
    // The dialog on a printer from makePrinter, not yet shown. Run by exec(), it answers
    // whether it was accepted; opened as a sheet (open()), it calls `finished` (when
    // given) with that. Accepted, the printer has what the user chose.
    QDialog* (*makeDialog)(
        Dialog kind, QPagedPaintDevice* printer, QWidget* parent, std::function<void(bool accepted)> finished);
};

// A printer with the stored page format `storedFormat` when it holds one. Throws
// kErrPrintingUnavailable when printing is not available.
std::unique_ptr<QPagedPaintDevice> MakePrinter(const QByteArray& storedFormat, const QString& documentName = {});
// The dialog on `printer` (made by MakePrinter), under `parent`.
std::unique_ptr<QDialog> MakeDialog(
    Dialog kind, QPagedPaintDevice& printer, QWidget* parent, std::function<void(bool accepted)> finished = {});

} // namespace Printing

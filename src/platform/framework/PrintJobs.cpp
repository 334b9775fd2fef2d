// The module "orvex-print": printers and their dialogs through Qt Print Support.
#include "Printing.h"

#include <QPageSetupDialog>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QTimer>

namespace {

// QPageSetupDialog puts the user's choices on its printer only at the end of exec():
// opened as a sheet, it runs exec() at the next turn of the event loop (keeping its
// modality) and tells its end after that, so that the choices are not lost.
class PageSetupSheet : public QPageSetupDialog {
public:
    PageSetupSheet(QPrinter* printer, QWidget* parent, std::function<void(bool)> finished)
        : QPageSetupDialog(printer, parent)
        , mFinished(std::move(finished))
    {
    }

    void open() override
    {
        // Deleted on close by exec() itself, the dialog would be gone before the choices are taken.
        const bool deleteOnClose = testAttribute(Qt::WA_DeleteOnClose);
        setAttribute(Qt::WA_DeleteOnClose, false);
        QTimer::singleShot(0, this, [this, deleteOnClose] {
            const QPointer<QDialog> alive(this);
            const bool accepted = exec() == QDialog::Accepted;
            if (!alive)
                return;
            if (mFinished)
                mFinished(accepted);
            if (deleteOnClose)
                deleteLater();
        });
    }

private:
    std::function<void(bool)> mFinished;
};

QPagedPaintDevice* MakePrinter(const QString& documentName)
{
    auto* printer = new QPrinter(QPrinter::HighResolution);
    if (!documentName.isEmpty())
        printer->setDocName(documentName);
    return printer;
}

QDialog* MakeDialog(
    Printing::Dialog kind, QPagedPaintDevice* device, QWidget* parent, std::function<void(bool)> finished)
{
    auto* printer = static_cast<QPrinter*>(device);
    if (kind == Printing::Dialog::PageSetup)
        return new PageSetupSheet(printer, parent, std::move(finished));
    // The print dialog puts the choices on the printer as it is accepted.
    auto* dialog = new QPrintDialog(printer, parent);
    if (finished)
        QObject::connect(
            dialog, &QDialog::finished, dialog, [finished](int result) { finished(result == QDialog::Accepted); });
    return dialog;
}

} // namespace

extern "C" Q_DECL_EXPORT const Printing::Jobs* OrvexPrintJobs()
{
    static const Printing::Jobs jobs { &MakePrinter, &MakeDialog };
    return &jobs;
}

#pragma once

// Answers the print dialog as a user choosing a PDF file would.

#include <QApplication>
#include <QPageSize>
#include <QPrintDialog>
#include <QPrinter>
#include <QString>
#include <QTimer>

#include <functional>

// While it lives, answers every print dialog that shows with a PDF file on A4
// (the printer as set here, not from the dialog's fields); `seen` has a look at
// the dialog first.
class StPrintDialogToPDF {
public:
    explicit StPrintDialogToPDF(const QString& pdf, std::function<void(QPrintDialog&)> seen = {})
    {
        mTimer.setInterval(20);
        QObject::connect(&mTimer, &QTimer::timeout, [this, pdf, seen] {
            for (QWidget* top : QApplication::topLevelWidgets()) {
                auto* dialog = qobject_cast<QPrintDialog*>(top);
                if (!dialog || !dialog->isVisible())
                    continue;
                if (seen)
                    seen(*dialog);
                dialog->printer()->setOutputFormat(QPrinter::PdfFormat);
                dialog->printer()->setOutputFileName(pdf);
                dialog->printer()->setPageSize(QPageSize(QPageSize::A4));
                dialog->done(QDialog::Accepted);
                mAnswered = true;
            }
        });
        mTimer.start();
    }
    bool Answered() const { return mAnswered; }

private:
    QTimer mTimer;
    bool mAnswered = false;
};

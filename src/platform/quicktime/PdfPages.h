#pragma once

#include "MacTypes.h"

#include <QByteArray>
#include <QImage>
#include <QSizeF>

#include <memory>

// The first page of a PDF document, rendered by Poppler. Poppler's libraries take
// long to load, so the code that uses them is a module (orvex-pdf) that the first
// PDF read loads.
class PdfPage {
public:
    virtual ~PdfPage() = default;
    virtual QSizeF Points() const = 0; // the page's size in points
    virtual QImage Render(double dpiX, double dpiY) = 0;
};

// What the PDF module gives: its entry, `OrvexPdfOpener`, answers it. A program
// that has PdfPages.cpp linked in (the fuzzers) uses its own.
struct PdfOpener {
    // nullptr for a document that cannot be read, is locked or has no page.
    std::unique_ptr<PdfPage> (*openFirstPage)(const QByteArray& data);
};

// The first page of the document in `data`: codecBadDataErr for a document that
// cannot be read, is locked or has no page; cantFindHandler without the module.
OSStatus OpenPdfFirstPage(const QByteArray& data, std::unique_ptr<PdfPage>& out);

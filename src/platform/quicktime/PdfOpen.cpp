#include "PdfPages.h"

#include "GraphicsErrors.h"
#include "Modules.h"

// PdfPages.cpp's entry, when it is linked into the program rather than loaded.
extern "C" const PdfOpener* OrvexPdfOpener() __attribute__((weak));

OSStatus OpenPdfFirstPage(const QByteArray& data, std::unique_ptr<PdfPage>& out)
{
    static std::string error;
    static const PdfOpener* const opener = ModuleTable(OrvexPdfOpener, "orvex-pdf", "OrvexPdfOpener", error);
    if (!opener)
        return cantFindHandler;
    out = opener->openFirstPage(data);
    return out ? noErr : codecBadDataErr;
}

#include "PdfPages.h"

#include <poppler-qt6.h>

namespace {

class PopplerPage final : public PdfPage {
public:
    PopplerPage(std::unique_ptr<Poppler::Document> document, std::unique_ptr<Poppler::Page> page)
        : mDocument(std::move(document))
        , mPage(std::move(page))
    {
    }
    QSizeF Points() const override { return mPage->pageSizeF(); }
    QImage Render(double dpiX, double dpiY) override { return mPage->renderToImage(dpiX, dpiY); }

private:
    std::unique_ptr<Poppler::Document> mDocument;
    std::unique_ptr<Poppler::Page> mPage;
};

std::unique_ptr<PdfPage> OpenFirstPage(const QByteArray& data)
{
    std::unique_ptr<Poppler::Document> document = Poppler::Document::loadFromData(data);
    if (!document || document->isLocked() || document->numPages() < 1)
        return nullptr;
    document->setRenderHint(Poppler::Document::Antialiasing);
    document->setRenderHint(Poppler::Document::TextAntialiasing);
    std::unique_ptr<Poppler::Page> page = document->page(0);
    if (!page)
        return nullptr;
    return std::make_unique<PopplerPage>(std::move(document), std::move(page));
}

} // namespace

extern "C" Q_DECL_EXPORT const PdfOpener* OrvexPdfOpener()
{
    static const PdfOpener opener {&OpenFirstPage};
    return &opener;
}

#pragma once

#include "CQTImageBaseMedia.h"

#include <QUrl>

// An EPS file, turned into PDF in memory and drawn through the PDF importer.
class CPSMedia : public CQTImageBaseMedia {
public:
    explicit CPSMedia(const QUrl& url);

    SInt16 GetMaxZoom() override { return -1; }

private:
    QByteArray mPDFData;
};

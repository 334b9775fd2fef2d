#pragma once

#include "CIndexItem.h"
#include "CIndexView.h"
#include "Offscreen.h"
#include "TaskServices.h"

#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QUrl>

#include <memory>

// One picture for every item of the grid benchmarks (shared, as Qt shares
// images), a photograph's shape: a gradient from blue to sand.
inline const QImage& GridThumbnail()
{
    static const QImage image = [] {
        QImage picture(100, 75, QImage::Format_RGB32);
        QPainter painter(&picture);
        QLinearGradient gradient(0, 0, 100, 75);
        gradient.setColorAt(0, QColor(40, 90, 160));
        gradient.setColorAt(1, QColor(230, 190, 90));
        painter.fillRect(picture.rect(), gradient);
        return picture;
    }();
    return image;
}

// Appends `count` items with the shared picture to a grid of cells of `cell` size.
inline void FillGrid(CIndexView& view, int count, QSize cell)
{
    view.SetCellSize(SInt16(cell.width()), SInt16(cell.height()));
    for (int i = 1; i <= count; ++i) {
        auto* item = new CIndexItem(QUrl(QStringLiteral("http://example.org/IMG_%1.JPG").arg(i)));
        item->SetDisplayPicture(std::make_unique<Offscreen>(GridThumbnail()));
        view.InsertItem(item, kInsertAtEnd, false, true);
    }
}

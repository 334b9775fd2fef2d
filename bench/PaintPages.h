#pragma once

#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <QTreeView>

// Paints what a tree view shows, page by page from the top, into an image.
inline void PaintPages(QTreeView& tree, int pages)
{
    QImage image(tree.viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    QScrollBar* bar = tree.verticalScrollBar();
    bar->setValue(0);
    for (int page = 0; page < pages; ++page) {
        bar->setValue(bar->value() + bar->pageStep());
        QPainter painter(&image);
        tree.viewport()->render(&painter);
    }
}

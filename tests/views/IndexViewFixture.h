#pragma once

#include "CIndexItem.h"
#include "CIndexView.h"
#include "StandaloneIndexView.h"
#include "Offscreen.h"
#include "CVisualTask.h"
#include "URegistrar.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

// A test with an index view of its own, made over the running tasks and
// deleted with what it posted for deletion.
class IndexViewFixture : public ::testing::Test {
protected:
    void MakeView(SInt16 width, SInt16 height)
    {
        URegistrar::RegisterFrameworkClasses();
        InitializeTasks();
        mIndex.emplace(width, height);
        view = mIndex->get();
    }
    void TearDown() override
    {
        mIndex.reset();
        view = nullptr;
        TerminateTasks();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    // Remote items "<prefix><n>.jpg", n counted from `first`, whose pictures are
    // plain rectangles of their own colour (by their place, from 1), added at the end.
    void AddPictureItems(int count, const QString& prefix, int first, QSize pictureSize,
        const std::function<QColor(int)>& colourOf)
    {
        for (int i = 1; i <= count; ++i) {
            auto* item = new CIndexItem(
                QUrl(QStringLiteral("http://example.org/%1%2.jpg").arg(prefix).arg(first + i - 1)));
            QImage picture(pictureSize, QImage::Format_RGB32);
            picture.fill(colourOf(i));
            item->SetDisplayPicture(std::make_unique<Offscreen>(picture));
            view->InsertItem(item, kInsertAtEnd, false, true);
        }
        view->SetModified(false); // as an index read from its package starts
    }
    std::optional<StandaloneIndexView> mIndex;
    CIndexView* view = nullptr;
};

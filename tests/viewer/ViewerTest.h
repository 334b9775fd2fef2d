#pragma once

#include "CIndexItem.h"
#include "CIndexView.h"
#include "CIndexViewDocument.h"
#include "CMediaWindow.h"
#include "CVisualTask.h"
#include "InterfaceClasses.h"
#include "MediaViewerClasses.h"
#include "MediaViewerServices.h"
#include "Preferences.h"
#include "URegistrar.h"

#include "StandaloneIndexView.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QTest>

#include <optional>

// Media windows over a real index view of photographs the test writes: the
// viewer's classes registered and installed, the preferences that would ask or
// animate turned off. Windows a test leaves open go at its end.
class ViewerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        URegistrar::RegisterFrameworkClasses();
        RegisterInterfaceClasses();
        RegisterIndexWindowClasses();
        RegisterMediaViewerClasses();
        InstallMediaViewerServices();
        InitializeTasks();
        SetPrefBoolean(QStringLiteral("ConfirmDelete"), false);
        SetPrefBoolean(QStringLiteral("kPRShowPoofEffect"), false);
        SetPrefBoolean(QStringLiteral("MediaUseFadeEffect"), false);
        SetPrefBoolean(QStringLiteral("MediaAutoPlay"), false);
        SetPrefBoolean(QStringLiteral("MediaNavigatorVisible"), false);
        SetPrefBoolean(QStringLiteral("MediaInfoVisible"), false);
        SetPrefBoolean(QStringLiteral("MediaCenterLargeImages"), true);
        SetPrefBoolean(QStringLiteral("PlayCompletionSound"), false);
        SetPrefBoolean(QStringLiteral("MediaLoopPlayback"), false);
        SetPrefBoolean(QStringLiteral("MediaLoopBackForth"), false);
        SetPrefBoolean(QStringLiteral("MediaControllerVisible"), false);
        SetPrefNumber(QStringLiteral("MediaZoomFlag"), -2);
        SetPrefNumber(QStringLiteral("MediaZoom"), 100);
        SetPrefNumber(QStringLiteral("MediaVolume"), 256);
        SetPrefNumber(QStringLiteral("FullScreenViewOptions"), 1);
        SetPrefNumber(QStringLiteral("SlideShowDelay"), 0);
        SetPrefNumber(QStringLiteral("SlideShowOrder"), 1);
        SetPrefBoolean(QStringLiteral("LoopSlideShow"), true);
        mDir = TestTempDir();
        mIndex.emplace(640, 480);
        view = mIndex->get();
        OpenItemsInMediaWindows(*view); // as the application has every index view's items open
    }
    void TearDown() override
    {
        CloseAllMediaWindows();
        mIndex.reset();
        view = nullptr;
        TerminateTasks();
        SetMediaViewerServices(nullptr);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    static void CloseAllMediaWindows()
    {
        while (!CMediaWindow::GetWindowList().empty())
            delete CMediaWindow::GetWindowList().back();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // A JPEG of one colour (its hue from the number), with a lighter square in the middle.
    QString WritePhoto(int number, int width, int height, const QString& suffix = QStringLiteral("jpg"))
    {
        QImage image(width, height, QImage::Format_RGB32);
        image.fill(QColor::fromHsv((number * 47) % 360, 200, 180));
        for (int y = height / 3; y < 2 * height / 3; ++y)
            for (int x = width / 3; x < 2 * width / 3; ++x)
                image.setPixel(x, y, qRgb(240, 240, 240));
        const QString path = mDir + QStringLiteral("/photo%1.%2").arg(number, 2, 10, QLatin1Char('0')).arg(suffix);
        EXPECT_TRUE(image.save(path));
        return path;
    }

    // Fills the view with `count` photographs of the given size.
    void FillView(int count, int width = 320, int height = 240)
    {
        for (int i = 1; i <= count; ++i)
            view->InsertItem(new CIndexItem(QUrl::fromLocalFile(WritePhoto(i, width, height))), kInsertAtEnd, false, false);
    }

    // Opens the item at the index as the index view does (through the catalogue's services).
    CMediaWindow* OpenAt(SInt32 index, bool windowed = true)
    {
        CIndexItem* item = nullptr;
        if (!view->GetItemAt(index, item) || !item)
            return nullptr;
        item->OpenInViewer(index, &view->GetModel(), windowed);
        return WindowOf(item);
    }

    // A window manager frames a shown window a moment later, and the window is
    // placed again around its frame. Without one (a bare X screen) no frame comes,
    // and the window stands as placed.
    static void WaitForFrame(QWidget* shell)
    {
        (void)QTest::qWaitFor([shell] { return shell->frameGeometry() != shell->geometry(); }, 2000);
        QTest::qWait(50);
    }

    static CMediaWindow* WindowOf(CIndexItem* item)
    {
        for (CMediaWindow* window : CMediaWindow::GetWindowList())
            if (window->GetItem() == item)
                return window;
        return nullptr;
    }

    CIndexItem* ItemAt(SInt32 index) const
    {
        CIndexItem* item = nullptr;
        view->GetItemAt(index, item);
        return item;
    }

    static OSStatus Code(const std::function<void()>& body)
    {
        try {
            body();
        } catch (const ExceptionCode& e) {
            return e.Code();
        }
        return noErr;
    }

    QString mDir;
    std::optional<StandaloneIndexView> mIndex;
    CIndexView* view = nullptr;
};

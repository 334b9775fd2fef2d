#pragma once

#include "LView.h"
#include "TestSupport.h"
#include "LWindow.h"
#include "LMenuBar.h"
#include "UReanimator.h"
#include "URegistrar.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPainter>

#include <gtest/gtest.h>

// The demo view of the fixture layouts ('Demo'): a checkerboard of 100-pixel
// squares over its whole image, so a grabbed picture shows where it is scrolled.
class DemoView : public LView {
public:
    explicit DemoView(const LLayoutData& data)
        : LView(data)
    {
    }
    void DrawSelf(QPainter& painter) override
    {
        ++draws;
        SPoint32 origin = GetImageLocation();
        for (int y = 0; y < GetImageSize().height; y += 100) {
            for (int x = 0; x < GetImageSize().width; x += 100) {
                bool dark = ((x / 100) + (y / 100)) % 2 == 0;
                painter.fillRect(QRect(x + origin.h, y + origin.v, 100, 100), dark ? QColor(200, 0, 0) : QColor(0, 0, 200));
            }
        }
    }
    int draws = 0;
};

inline void SetUpFrameworkFixture()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    URegistrar::RegisterFrameworkClasses();
    URegistrar::RegisterClass<DemoView>('Demo');
    const QString fixture = QStringLiteral(ORVEX_SOURCE_DIR "/tests/platform/framework/fixture");
    UReanimator::AddLayoutFolder(fixture + QStringLiteral("/layouts"));
    LMenuBar::AddMenuFolder(fixture + QStringLiteral("/menus"));
}


// The demo window of layout 1000, shown, for each test.
struct DemoWindowFixture : ::testing::Test {
    LWindow* window = nullptr;
    void SetUp() override
    {
        SetUpFrameworkFixture();
        window = LWindow::CreateWindow(1000, nullptr);
        window->Show();
    }
    void TearDown() override
    {
        delete window;
        FlushDeletes();
    }
};

#pragma once

#include "LMenuBar.h"
#include "LWindow.h"
#include "TestSupport.h"


// Pane info of a window made in code: a frame at a global place.
inline SPaneInfo WindowInfo(int left, int top, int width, int height)
{
    SPaneInfo info;
    info.left = left;
    info.top = top;
    info.width = width;
    info.height = height;
    return info;
}

inline constexpr UInt32 kRegularWindowAttributes
    = windAttr_Regular | windAttr_CloseBox | windAttr_TitleBar | windAttr_Enabled | windAttr_Targetable | windAttr_Resizable;

// The menu bar of tests/interface/fixture/menus, made once.
inline void UseFixtureMenuBar()
{
    static bool made = false;
    if (made)
        return;
    made = true;
    LMenuBar::AddMenuFolder(QStringLiteral(ORVEX_SOURCE_DIR "/tests/interface/fixture/menus"));
    new LMenuBar(128);
}

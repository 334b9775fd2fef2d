#pragma once

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

#pragma once

#include "MacTypes.h"

#include <QPoint>
#include <QRect>
#include <QSize>
#include <algorithm>
#include <cstdint>

// The old platform's 16-bit point and rectangle, in its field order: a point is
// (v, h), a rectangle (top, left, bottom, right) with bottom and right exclusive.
// They are kept for what stored formats hold (picture frames, window bounds in
// preferences, thumbnail headers); everything on screen is QPoint/QRect.
struct Point {
    SInt16 v = 0;
    SInt16 h = 0;

    friend bool operator==(const Point&, const Point&) = default;
};

struct Rect {
    SInt16 top = 0;
    SInt16 left = 0;
    SInt16 bottom = 0;
    SInt16 right = 0;

    SInt16 Width() const { return static_cast<SInt16>(right - left); }
    SInt16 Height() const { return static_cast<SInt16>(bottom - top); }
    bool IsEmpty() const { return bottom <= top || right <= left; }

    friend bool operator==(const Rect&, const Rect&) = default;
};

inline SInt16 ClampToSInt16(int value)
{
    return static_cast<SInt16>(std::clamp(value, -32768, 32767));
}

inline SInt32 ClampToSInt32(qint64 value)
{
    return static_cast<SInt32>(std::clamp<qint64>(value, INT32_MIN, INT32_MAX));
}

inline Point MakePoint(int v, int h)
{
    return Point { ClampToSInt16(v), ClampToSInt16(h) };
}

inline Rect MakeRect(int top, int left, int bottom, int right)
{
    return Rect { ClampToSInt16(top), ClampToSInt16(left), ClampToSInt16(bottom), ClampToSInt16(right) };
}

inline QPoint ToQPoint(const Point& p)
{
    return QPoint(p.h, p.v);
}

inline Point FromQPoint(const QPoint& p)
{
    return MakePoint(p.y(), p.x());
}

inline QRect ToQRect(const Rect& r)
{
    return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

inline Rect FromQRect(const QRect& r)
{
    return MakeRect(r.top(), r.left(), r.top() + r.height(), r.left() + r.width());
}

inline void OffsetRect(Rect& r, int dh, int dv)
{
    r = MakeRect(r.top + dv, r.left + dh, r.bottom + dv, r.right + dh);
}

inline void InsetRect(Rect& r, int dh, int dv)
{
    r = MakeRect(r.top + dv, r.left + dh, r.bottom - dv, r.right - dh);
}

inline bool PtInRect(const Point& p, const Rect& r)
{
    return p.v >= r.top && p.v < r.bottom && p.h >= r.left && p.h < r.right;
}

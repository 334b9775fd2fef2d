#include "MatrixRecord.h"

#include <cmath>

void SetIdentityMatrix(MatrixRecord& m)
{
    m.transform.reset();
}

bool IsIdentityMatrix(const MatrixRecord& m)
{
    return m.transform.isIdentity();
}

void RotateMatrix(MatrixRecord& m, Fixed degrees, Fixed aboutX, Fixed aboutY)
{
    double x = FixedToDouble(aboutX), y = FixedToDouble(aboutY);
    QTransform r;
    r.translate(x, y);
    r.rotate(FixedToDouble(degrees));
    r.translate(-x, -y);
    // Round the quarter turns exactly, so integer rectangles stay integral.
    QTransform exact(std::round(r.m11()), std::round(r.m12()), std::round(r.m21()), std::round(r.m22()),
        std::round(r.dx()), std::round(r.dy()));
    if (std::fmod(FixedToDouble(degrees), 90.0) == 0.0)
        r = exact;
    m.transform = m.transform * r;
}

void TranslateMatrix(MatrixRecord& m, Fixed deltaH, Fixed deltaV)
{
    m.transform = m.transform * QTransform::fromTranslate(FixedToDouble(deltaH), FixedToDouble(deltaV));
}

void ScaleMatrix(MatrixRecord& m, Fixed scaleX, Fixed scaleY, Fixed aboutX, Fixed aboutY)
{
    double x = FixedToDouble(aboutX), y = FixedToDouble(aboutY);
    QTransform s;
    s.translate(x, y);
    s.scale(FixedToDouble(scaleX), FixedToDouble(scaleY));
    s.translate(-x, -y);
    m.transform = m.transform * s;
}

void RectMatrix(MatrixRecord& m, const Rect& from, const Rect& to)
{
    double sx = from.Width() ? double(to.Width()) / from.Width() : 1.0;
    double sy = from.Height() ? double(to.Height()) / from.Height() : 1.0;
    m.transform = QTransform(sx, 0, 0, sy, to.left - from.left * sx, to.top - from.top * sy);
}

Rect TransformRect(const MatrixRecord& m, const Rect& r)
{
    QRectF mapped = m.transform.mapRect(QRectF(r.left, r.top, r.Width(), r.Height()));
    return MakeRect(int(std::lround(mapped.top())), int(std::lround(mapped.left())),
        int(std::lround(mapped.bottom())), int(std::lround(mapped.right())));
}

namespace {
void PutLong(unsigned char* p, SInt32 v)
{
    p[0] = UInt8(UInt32(v) >> 24);
    p[1] = UInt8(UInt32(v) >> 16);
    p[2] = UInt8(UInt32(v) >> 8);
    p[3] = UInt8(v);
}
SInt32 GetLong(const unsigned char* p)
{
    return SInt32((UInt32(p[0]) << 24) | (UInt32(p[1]) << 16) | (UInt32(p[2]) << 8) | UInt32(p[3]));
}
SInt32 ToFract(double v)
{
    return static_cast<SInt32>(std::lround(v * 1073741824.0));
}
} // namespace

void MatrixToBytes(const MatrixRecord& m, unsigned char out[36])
{
    const QTransform& t = m.transform;
    SInt32 values[9] = { DoubleToFixed(t.m11()), DoubleToFixed(t.m12()), ToFract(t.m13()),
        DoubleToFixed(t.m21()), DoubleToFixed(t.m22()), ToFract(t.m23()), DoubleToFixed(t.dx()),
        DoubleToFixed(t.dy()), ToFract(t.m33()) };
    for (int i = 0; i < 9; ++i)
        PutLong(out + 4 * i, values[i]);
}

MatrixRecord MatrixFromBytes(const unsigned char bytes[36])
{
    auto fixed = [&](int i) { return FixedToDouble(GetLong(bytes + 4 * i)); };
    auto fract = [&](int i) { return GetLong(bytes + 4 * i) / 1073741824.0; };
    MatrixRecord m;
    m.transform = QTransform(fixed(0), fixed(1), fract(2), fixed(3), fixed(4), fract(5), fixed(6), fixed(7), fract(8));
    return m;
}

#pragma once

#include "GraphicsErrors.h"
#include "Geometry.h"

#include <QTransform>

// A 3x3 transformation matrix, applied to row vectors (x, y, 1) as the old
// platform's matrices were: a later operation is applied after the earlier ones.
// Angles, scales and offsets are given as 16.16 fixed numbers, as in the calls it
// stands for.
struct MatrixRecord {
    QTransform transform;

    friend bool operator==(const MatrixRecord&, const MatrixRecord&) = default;
};

void SetIdentityMatrix(MatrixRecord& m);
bool IsIdentityMatrix(const MatrixRecord& m);
// Rotates by `degrees` about (aboutX, aboutY); positive angles turn clockwise on screen.
void RotateMatrix(MatrixRecord& m, Fixed degrees, Fixed aboutX, Fixed aboutY);
void TranslateMatrix(MatrixRecord& m, Fixed deltaH, Fixed deltaV);
void ScaleMatrix(MatrixRecord& m, Fixed scaleX, Fixed scaleY, Fixed aboutX, Fixed aboutY);
// The matrix that maps `from` onto `to` (scale, then offset).
void RectMatrix(MatrixRecord& m, const Rect& from, const Rect& to);
// The bounding rectangle of `r` after the matrix.
Rect TransformRect(const MatrixRecord& m, const Rect& r);

// The 36-byte stored form: a, b, u / c, d, v / h, v, w with u, v, w in 2.30.
void MatrixToBytes(const MatrixRecord& m, unsigned char out[36]);
MatrixRecord MatrixFromBytes(const unsigned char bytes[36]);

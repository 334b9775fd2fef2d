#pragma once

#include "TestSupport.h"

#include "FourCharCode.h"

#include <QColor>
#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QString>

// Runs a command-line tool and returns its standard output; empty when it fails
// or is not installed.
inline QByteArray RunTool(const QString& program, const QStringList& arguments, int* exitCode = nullptr)
{
    if (QStandardPaths::findExecutable(program).isEmpty())
        return {};
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000))
        return {};
    if (exitCode)
        *exitCode = process.exitCode();
    return process.readAllStandardOutput();
}

inline QImage Quadrants(int width = 120, int height = 80)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            bool right = x >= width / 2, bottom = y >= height / 2;
            image.setPixel(x, y, !bottom ? (right ? qRgb(0, 255, 0) : qRgb(255, 0, 0)) : (right ? qRgb(255, 255, 0) : qRgb(0, 0, 255)));
        }
    return image;
}

inline bool Near(QRgb pixel, QColor expected, int tolerance = 48)
{
    return std::abs(qRed(pixel) - expected.red()) <= tolerance && std::abs(qGreen(pixel) - expected.green()) <= tolerance
        && std::abs(qBlue(pixel) - expected.blue()) <= tolerance;
}

inline QString TempFile(const QString& name)
{
    return TestTempDir() + QLatin1Char('/') + name;
}

inline bool WriteBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

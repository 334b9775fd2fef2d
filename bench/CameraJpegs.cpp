#include "CameraJpegs.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QRandomGenerator>
#include <QStandardPaths>

#include <algorithm>
#include <thread>

namespace {

constexpr int kFiles = kCameraJpegCount;
constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

// Made once and kept between runs: writing 200 camera-size JPEGs takes a while.
QString CacheFolder()
{
    QString folder = qEnvironmentVariable("ORVEX_BENCH_CACHE");
    if (folder.isEmpty())
        folder = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + "/orvex-bench";
    return folder + QStringLiteral("/jpeg-%1x%2").arg(kWidth).arg(kHeight);
}

// Something like a photograph for the encoder: smooth gradients, shapes and
// a little sensor noise, different in every file.
QImage MakePhoto(int index)
{
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient sky(0, 0, kWidth, kHeight);
    sky.setColorAt(0, QColor::fromHsv((index * 37) % 360, 120, 230));
    sky.setColorAt(1, QColor::fromHsv((index * 37 + 140) % 360, 200, 90));
    p.fillRect(image.rect(), sky);
    QRandomGenerator random(quint32(index + 1));
    for (int i = 0; i < 60; ++i) {
        p.setBrush(QColor::fromHsv(random.bounded(360), random.bounded(255), random.bounded(255)));
        p.setPen(Qt::NoPen);
        p.drawEllipse(random.bounded(kWidth), random.bounded(kHeight), 100 + random.bounded(1500), 100 + random.bounded(1500));
    }
    p.end();
    for (int y = 0; y < kHeight; ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < kWidth; ++x) {
            const int n = int(random.generate() & 15) - 8;
            const QRgb c = line[x];
            line[x] = qRgb(qBound(0, qRed(c) + n, 255), qBound(0, qGreen(c) + n, 255), qBound(0, qBlue(c) + n, 255));
        }
    }
    return image;
}

} // namespace

const std::vector<QString>& CameraJpegFiles()
{
    static const std::vector<QString> files = [] {
        QDir().mkpath(CacheFolder());
        std::vector<QString> paths;
        for (int i = 0; i < kFiles; ++i)
            paths.push_back(QDir(CacheFolder()).filePath(QStringLiteral("IMG_%1.JPG").arg(i + 1, 4, 10, QChar('0'))));
        std::vector<std::thread> makers;
        const unsigned threads = std::max(2u, std::thread::hardware_concurrency());
        for (unsigned t = 0; t < threads; ++t) {
            makers.emplace_back([&, t] {
                for (int i = int(t); i < kFiles; i += int(threads)) {
                    if (QFile::exists(paths[i]))
                        continue;
                    const QString partial = paths[i] + ".part";
                    if (MakePhoto(i).save(partial, "JPEG", 92))
                        QFile::rename(partial, paths[i]);
                }
            });
        }
        for (auto& maker : makers)
            maker.join();
        return paths;
    }();
    return files;
}


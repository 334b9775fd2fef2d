#include "CameraJpegs.h"

#include <QBuffer>
#include <QColorSpace>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QRandomGenerator>

#include <exiv2/exiv2.hpp>

#include <algorithm>
#include <array>
#include <thread>

namespace {

constexpr int kFiles = kCameraJpegCount;

// Made once and kept between runs: writing camera-size JPEGs takes a while.
QString SetFolder(CameraSet set)
{
    QString folder = qEnvironmentVariable("ORVEX_BENCH_CACHE");
    if (folder.isEmpty())
        folder = QStringLiteral(ORVEX_BENCH_FILES_DIR);
    const QSize size = CameraSetSize(set);
    return folder + QStringLiteral("/jpeg-%1x%2-%3").arg(size.width()).arg(size.height()).arg(CameraSetName(set));
}

// Something like a photograph for the encoder: smooth gradients, shapes and
// a little sensor noise, different in every file.
QImage MakePhoto(int index, QSize size)
{
    const int width = size.width();
    const int height = size.height();
    QImage image(width, height, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient sky(0, 0, width, height);
    sky.setColorAt(0, QColor::fromHsv((index * 37) % 360, 120, 230));
    sky.setColorAt(1, QColor::fromHsv((index * 37 + 140) % 360, 200, 90));
    p.fillRect(image.rect(), sky);
    QRandomGenerator random(quint32(index + 1));
    for (int i = 0; i < 60; ++i) {
        p.setBrush(QColor::fromHsv(random.bounded(360), random.bounded(255), random.bounded(255)));
        p.setPen(Qt::NoPen);
        p.drawEllipse(random.bounded(width), random.bounded(height), 100 + random.bounded(1500), 100 + random.bounded(1500));
    }
    p.end();
    for (int y = 0; y < height; ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int n = int(random.generate() & 15) - 8;
            const QRgb c = line[x];
            line[x] = qRgb(qBound(0, qRed(c) + n, 255), qBound(0, qGreen(c) + n, 255), qBound(0, qBlue(c) + n, 255));
        }
    }
    return image;
}

QByteArray JpegOf(const QImage& image, int quality)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", quality);
    return bytes;
}

// The camera's own thumbnail: 160x120 whatever the frame, the picture shrunk into
// it, with black bars where its shape differs (above and below a 3:2 picture).
QByteArray CameraThumbnail(const QImage& photo)
{
    const QImage small = photo.scaled(160, 120, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QImage boxed(160, 120, QImage::Format_RGB32);
    boxed.fill(Qt::black);
    QPainter(&boxed).drawImage((160 - small.width()) / 2, (120 - small.height()) / 2, small);
    return JpegOf(boxed, 85);
}

void AddCameraExif(const QString& path, int index, CameraSet set, const QImage& photo)
{
    auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
    image->readMetadata();
    Exiv2::ExifData& exif = image->exifData();
    exif["Exif.Image.Make"] = "Orvex";
    exif["Exif.Image.Model"] = "Bench Camera";
    exif["Exif.Image.Orientation"] = uint16_t(index % 4 == 3 ? 6 : 1);
    exif["Exif.Photo.DateTimeOriginal"] = "2026:12:07 08:00:00";
    exif["Exif.Photo.PixelXDimension"] = uint32_t(photo.width());
    exif["Exif.Photo.PixelYDimension"] = uint32_t(photo.height());
    if (set == CameraSet::ExifThumbnail || set == CameraSet::Letterboxed) {
        const QByteArray thumbnail = CameraThumbnail(photo);
        Exiv2::ExifThumb(exif).setJpegThumbnail(reinterpret_cast<const Exiv2::byte*>(thumbnail.constData()),
            long(thumbnail.size()));
    }
    image->writeMetadata();
}

void MakeFile(const QString& path, int index, CameraSet set)
{
    QImage photo = MakePhoto(index + int(set) * kFiles, CameraSetSize(set));
    if (set == CameraSet::Profiled)
        photo.setColorSpace(QColorSpace(QColorSpace::AdobeRgb)); // written as an APP2 ICC profile
    const QString partial = path + ".part.jpg";
    if (!photo.save(partial, "JPEG", 92))
        return;
    try {
        AddCameraExif(partial, index, set, photo);
    } catch (const std::exception&) {
        QFile::remove(partial);
        return;
    }
    QFile::rename(partial, path);
}

} // namespace

QSize CameraSetSize(CameraSet set)
{
    return set == CameraSet::ExifThumbnail ? QSize(4608, 3456) : QSize(6000, 4000);
}

const char* CameraSetName(CameraSet set)
{
    switch (set) {
    case CameraSet::Plain:
        return "plain";
    case CameraSet::Profiled:
        return "profiled";
    case CameraSet::ExifThumbnail:
        return "fitting-thumbnail";
    case CameraSet::Letterboxed:
        return "letterboxed-thumbnail";
    }
    return "";
}

const std::vector<QString>& CameraJpegFiles(CameraSet set)
{
    static std::array<std::vector<QString>, 4> sets;
    std::vector<QString>& files = sets[std::size_t(set)];
    if (!files.empty())
        return files;
    const QString folder = SetFolder(set);
    QDir().mkpath(folder);
    for (int i = 0; i < kFiles; ++i)
        files.push_back(QDir(folder).filePath(QStringLiteral("IMG_%1.JPG").arg(i + 1, 4, 10, QChar('0'))));
    std::vector<std::thread> makers;
    const unsigned threads = std::max(2u, std::thread::hardware_concurrency());
    for (unsigned t = 0; t < threads; ++t) {
        makers.emplace_back([&, t] {
            for (int i = int(t); i < kFiles; i += int(threads))
                if (!QFile::exists(files[std::size_t(i)]))
                    MakeFile(files[std::size_t(i)], i, set);
        });
    }
    for (auto& maker : makers)
        maker.join();
    return files;
}

#include "UResources.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QIconEngine>
#include <QImageReader>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QPainter>
#include <QPixmap>
#include <QPixmapCache>
#include <QtEndian>

#include <png.h>

#include <memory>

namespace {
QHash<QString, QStringList>& Folders()
{
    static QHash<QString, QStringList> folders;
    return folders;
}

// A shipped picture and its "@2x" sibling as one icon, the sibling read only once
// a dense screen or a size with more pixels than the picture asks for it (the icon
// would pick it then): on an ordinary screen the dense pictures are never read.
struct ShippedIcon {
    ShippedIcon(const QImage& image, QString densePath) : side(image.size()), dense(std::move(densePath))
    {
        icon.addPixmap(QPixmap::fromImage(image));
    }

    const QIcon& For(const QSize& pixels, qreal ratio = 1.0)
    {
        if (!dense.isEmpty() && (ratio > 1.0 || qint64(pixels.width()) * pixels.height() > qint64(side.width()) * side.height()))
            return All();
        return icon;
    }
    const QIcon& All()
    {
        if (!dense.isEmpty()) {
            const QImage image = UResources::ReadImage(dense);
            if (!image.isNull())
                icon.addPixmap(QPixmap::fromImage(image));
            dense.clear();
        }
        return icon;
    }

    QSize side;
    QString dense; // read when first needed, then empty
    QIcon icon;
};

class ShippedIconEngine : public QIconEngine {
public:
    explicit ShippedIconEngine(std::shared_ptr<ShippedIcon> shipped) : mShipped(std::move(shipped)) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatio() : 1.0;
        mShipped->For((QSizeF(rect.size()) * ratio).toSize(), ratio).paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return mShipped->For(size).pixmap(size, 1.0, mode, state);
    }
    // Asked in device pixels: the icon is asked for the logical size at that ratio.
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override
    {
        return mShipped->For(size, scale).pixmap(scale > 0 ? (QSizeF(size) / scale).toSize() : size, scale, mode, state);
    }
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return mShipped->For(size).actualSize(size, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override
    {
        return mShipped->All().availableSizes(mode, state);
    }
    bool isNull() override { return false; }
    QString key() const override { return QStringLiteral("ShippedIconEngine"); }
    QIconEngine* clone() const override { return new ShippedIconEngine(mShipped); }

private:
    std::shared_ptr<ShippedIcon> mShipped;
};

// Whether a PNG's pixels are plain 8-bit RGB or RGBA with nothing that asks to
// convert them (a gamma, a colour profile): such pixels are the same however read.
bool IsPlainPng(const QByteArray& bytes)
{
    constexpr qsizetype kSignature = 8;
    if (bytes.size() < kSignature + 8 + 13 || bytes.mid(12, 4) != "IHDR")
        return false;
    const char depth = bytes[kSignature + 8 + 8];
    const char colourType = bytes[kSignature + 8 + 9];
    if (depth != 8 || (colourType != 2 && colourType != 6))
        return false;
    for (qsizetype at = kSignature; at + 8 <= bytes.size();) {
        const QByteArrayView type(bytes.constData() + at + 4, 4);
        if (type == "IDAT")
            return true;
        if (type == "gAMA" || type == "cHRM" || type == "iCCP" || type == "sRGB" || type == "sBIT" || type == "tRNS")
            return false;
        const quint32 length = qFromBigEndian<quint32>(bytes.constData() + at);
        at += 12 + qsizetype(length);
    }
    return false;
}

// A plain PNG picture of the program's own, decoded by libpng straight away: Qt's
// reader first looks through every picture plugin installed, which the first
// window would wait for. Null for any other picture.
QImage DecodeShippedPng(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QImage();
    const QByteArray bytes = file.readAll();
    if (!IsPlainPng(bytes))
        return QImage();
    png_image png {};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&png, bytes.constData(), size_t(bytes.size())))
        return QImage();
    png.format = PNG_FORMAT_RGBA;
    QImage image(int(png.width), int(png.height), QImage::Format_RGBA8888);
    if (image.isNull() || !png_image_finish_read(&png, nullptr, image.bits(), image.bytesPerLine(), nullptr)) {
        png_image_free(&png);
        return QImage();
    }
    return image;
}

} // namespace

void UResources::AddFolder(const QString& kind, const QString& folder)
{
    QStringList& list = Folders()[kind];
    if (!list.contains(folder))
        list.prepend(folder);
}

QString UResources::FindFile(const QString& kind, const QString& name)
{
    for (const QString& folder : Folders().value(kind)) {
        QString path = QDir(folder).filePath(name);
        if (QFile::exists(path))
            return path;
    }
    QString compiled = QStringLiteral(":/%1/%2").arg(kind, name);
    return QFile::exists(compiled) ? compiled : QString();
}

bool UResources::ReadJsonObject(const QString& kind, const QString& name, QJsonObject& outObject, QString& outError, bool& outMissing)
{
    outMissing = false;
    QFile file(FindFile(kind, name));
    if (file.fileName().isEmpty() || !file.open(QIODevice::ReadOnly)) {
        outMissing = true;
        outError = QStringLiteral("no resource");
        return false;
    }
    QJsonParseError error {};
    QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError) {
        outError = QStringLiteral("not valid JSON at offset %1: %2").arg(error.offset).arg(error.errorString());
        return false;
    }
    if (!document.isObject()) {
        outError = QStringLiteral("not a JSON object");
        return false;
    }
    outObject = document.object();
    return true;
}

QImage UResources::ReadImage(const QString& path)
{
    if (path.isEmpty())
        return QImage();
    if (path.startsWith(QLatin1String(":/")) && path.endsWith(QLatin1String(".png"), Qt::CaseInsensitive)) {
        if (QImage image = DecodeShippedPng(path); !image.isNull())
            return image;
    }
    QImageReader named(path, QFileInfo(path).suffix().toLower().toLatin1());
    named.setAutoDetectImageFormat(false);
    QImage image = named.read();
    // A file whose suffix does not say what it holds: every reader is asked.
    if (image.isNull())
        image = QImageReader(path).read();
    return image;
}

QPixmap UResources::ReadPixmap(const QString& path)
{
    const QString key = QStringLiteral("orvex-resource:") + path;
    QPixmap pixmap;
    if (QPixmapCache::find(key, &pixmap))
        return pixmap;
    pixmap = QPixmap::fromImage(ReadImage(path));
    if (!pixmap.isNull())
        QPixmapCache::insert(key, pixmap);
    return pixmap;
}

QIcon UResources::ReadIcon(const QString& path)
{
    const QImage image = ReadImage(path);
    if (image.isNull())
        return QIcon();
    const int dot = path.lastIndexOf(QLatin1Char('.'));
    const QString dense = dot < 0 ? QString() : path.left(dot) + QStringLiteral("@2x") + path.mid(dot);
    if (dense.isEmpty() || !QFile::exists(dense))
        return QIcon(QPixmap::fromImage(image));
    return QIcon(new ShippedIconEngine(std::make_shared<ShippedIcon>(image, dense)));
}

#include "ThumbnailFile.h"

#include "ExceptionCode.h"
#include "RectUtilities.h"
#include "SafeSave.h"

#include <QDir>
#include <QFile>
#include <QPainter>

namespace {
bool FitsAThumbnail(const Rect& frame)
{
    return int(frame.right) - frame.left <= kLargestThumbnailSide
        && int(frame.bottom) - frame.top <= kLargestThumbnailSide;
}
} // namespace


QString ThumbnailFileName(SInt32 number)
{
    return QString::number(number) + QLatin1String(kThumbFileExtension);
}

QUrl ThumbnailFileURL(const QUrl& thumbsFolder, SInt32 number)
{
    if (number <= 0 || !thumbsFolder.isValid() || !thumbsFolder.isLocalFile())
        return {};
    QString folder = thumbsFolder.toLocalFile();
    if (folder.isEmpty())
        return {};
    return QUrl::fromLocalFile(QDir(folder).filePath(ThumbnailFileName(number)));
}

SInt32 ThumbnailNumberForWrite(SInt32 number, bool fromOtherPackage, const std::function<SInt32()>& nextThumbID)
{
    if (fromOtherPackage || number == 0)
        number = nextThumbID();
    // Only numbers the package handed out are ever negated, so this never overflows.
    return number < 0 ? -number : number;
}

SInt32 ThumbnailNumberAfterNewPicture(SInt32 number)
{
    return number > 0 ? -number : number;
}

Picture FitThumbnailPicture(const Picture& picture)
{
    const Rect frame = picture.Frame();
    if (picture.IsNull() || FitsAThumbnail(frame))
        return picture;
    if (frame.IsEmpty())
        ThrowOSErr_(codecBadDataErr, "thumbnail picture without a frame");
    Rect fitted;
    FitRectInRect(frame, MakeRect(0, 0, kLargestThumbnailSide, kLargestThumbnailSide), fitted, false, false);
    OffsetRect(fitted, SInt16(-fitted.left), SInt16(-fitted.top));
    QImage pixels(fitted.Width(), fitted.Height(), QImage::Format_ARGB32_Premultiplied);
    if (pixels.isNull())
        ThrowOSErr_(memFullErr, "no memory to fit a thumbnail picture");
    pixels.fill(Qt::white);
    {
        QPainter painter(&pixels);
        ThrowIfOSErr_(picture.Draw(painter, fitted));
    }
    return Picture::FromImage(pixels, fitted, ditherCopy);
}

void WriteThumbnailFile(const QUrl& file, const Picture& picture)
{
    if (picture.IsNull())
        ThrowOSErr_(err_NilPointer, "no thumbnail picture to write");
    if (!file.isValid() || !file.isLocalFile())
        ThrowOSErr_(err_NilPointer, "no thumbnail file URL");
    const QString path = file.toLocalFile();
    QByteArray bytes(kThumbHeaderSize, '\0');
    bytes.append(FitThumbnailPicture(picture).Data());
    if (OSStatus err = ReplaceFileSafely(path, bytes))
        ThrowOSErr_(err, "thumbnail file not written: " + path.toStdString());
}

Picture ReadThumbnailFile(const QUrl& file)
{
    if (!file.isValid() || !file.isLocalFile())
        ThrowOSErr_(err_AssertFailed, "no thumbnail file URL");
    const QString path = file.toLocalFile();
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly))
        ThrowOSErr_(err_AssertFailed, "thumbnail file not readable: " + path.toStdString());
    if (in.size() > kLargestThumbnailFileBytes)
        ThrowOSErr_(codecBadDataErr,
            "thumbnail file of " + std::to_string(in.size()) + " bytes, larger than any thumbnail: " + path.toStdString());
    const QByteArray bytes = in.readAll();
    if (in.error() != QFileDevice::NoError)
        ThrowOSErr_(err_AssertFailed, "thumbnail file not readable: " + path.toStdString());
    if (bytes.size() <= kThumbHeaderSize)
        ThrowOSErr_(codecBadDataErr, "thumbnail file without a picture: " + path.toStdString());
    Picture picture(bytes.mid(kThumbHeaderSize));
    // No thumbnail is larger than the largest the program keeps: a file that
    // says otherwise, in its frame or in any image it holds, is damaged and
    // is refused before a pixel of it is decoded.
    if (!FitsAThumbnail(picture.Frame()))
        ThrowOSErr_(codecBadDataErr, "thumbnail picture larger than any thumbnail: " + path.toStdString());
    // A picture that is cut short or lies about its lengths is refused here, so
    // the item shows its icon instead of half a thumbnail.
    PictInfo info;
    try {
        picture.CheckInfo(info, kLargestThumbnailSide);
    } catch (const ExceptionCode& e) {
        ThrowOSErr_(e.Code(), "thumbnail picture damaged: " + path.toStdString() + ": " + e.Context());
    }
    if (info.frame.IsEmpty())
        ThrowOSErr_(codecBadDataErr, "thumbnail picture without a frame: " + path.toStdString());
    return picture;
}

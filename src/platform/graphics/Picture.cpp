#include "Picture.h"

#include "ExceptionCode.h"
#include "Offscreen.h"
#include "PictReader.h"
#include "PictWriter.h"

#include <QPainter>

Picture Picture::FromFileData(const QByteArray& fileBytes)
{
    qsizetype start = FindPictStart(fileBytes);
    if (start < 0)
        ThrowOSErr_(codecBadDataErr, "not a picture file");
    return Picture(fileBytes.mid(start));
}

QByteArray Picture::ToFileData() const
{
    QByteArray file(kFileHeaderSize, '\0');
    file.append(mData);
    return file;
}

Picture Picture::FromImage(const QImage& image, const Rect& frame, SInt16 mode)
{
    return Picture(PictWriter::WriteDirectBits(image, frame, mode));
}

Picture Picture::FromOffscreen(const Offscreen& world, SInt16 mode)
{
    return FromImage(world.Image(), world.Bounds(), mode);
}

Picture Picture::FromImageAsJPEG(const QImage& image, const Rect& frame, CodecQ quality, SInt16 mode)
{
    return Picture(PictWriter::WriteJPEG(image, frame, quality, mode));
}

Rect Picture::Frame() const
{
    if (mData.size() < 10)
        return {};
    auto word = [&](int at) { return SInt16((UInt8(mData[at]) << 8) | UInt8(mData[at + 1])); };
    return Rect { word(2), word(4), word(6), word(8) };
}

OSStatus Picture::Compress(CodecQ quality)
{
    return CatchCode([&] {
        QImage pixels;
        ThrowIfOSErr_(Render(pixels));
        mData = PictWriter::WriteJPEG(pixels, Frame(), quality, srcCopy);
    });
}

OSStatus Picture::Draw(QPainter& port, const Rect& destination) const
{
    if (mData.isEmpty())
        return err_NilPointer;
    const Rect frame = Frame();
    if (frame.IsEmpty())
        return codecBadDataErr;
    port.save();
    port.translate(destination.left, destination.top);
    port.scale(double(destination.Width()) / frame.Width(), double(destination.Height()) / frame.Height());
    port.translate(-frame.left, -frame.top);
    PictInfo info;
    OSStatus status = ReadPict(mData, &port, info);
    port.restore();
    return status;
}

OSStatus Picture::Render(QImage& out) const
{
    const Rect frame = Frame();
    if (mData.isEmpty())
        return err_NilPointer;
    if (frame.IsEmpty())
        return codecBadDataErr;
    if (!DecodedImageFits(frame.Width(), frame.Height()))
        return memFullErr;
    out = QImage(frame.Width(), frame.Height(), QImage::Format_ARGB32_Premultiplied);
    if (out.isNull())
        return memFullErr;
    out.fill(Qt::white);
    QPainter painter(&out);
    return Draw(painter, MakeRect(0, 0, frame.Height(), frame.Width()));
}

OSStatus Picture::GetInfo(PictInfo& info, int largestImageSide) const
{
    info = PictInfo();
    return ReadPict(mData, nullptr, info, largestImageSide);
}

void Picture::CheckInfo(PictInfo& info, int largestImageSide) const
{
    info = PictInfo();
    const ExceptionCode status = ReadPictWithReason(mData, nullptr, info, largestImageSide);
    if (status != noErr)
        throw status;
}

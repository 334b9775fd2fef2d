// libFuzzer target for the picture reader as thumbnails are read and drawn: any
// bytes as a picture file (header first, as in "thumbs/") and as bare picture data.
#include "FuzzEntry.h"
#include "GraphicsErrors.h"
#include "PictReader.h"
#include "Picture.h"

#include <QGuiApplication>
#include <QImage>

namespace {
void Draw(const Picture& picture)
{
    PictInfo info;
    if (picture.GetInfo(info) != noErr)
        return;
    QImage drawn;
    picture.Render(drawn);
}

void Run(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    Draw(Picture(bytes));
    Draw(Picture::FromFileData(bytes));
}
} // namespace

ORVEX_FUZZ_ENTRY(Run)

// Text in a picture is drawn with the desktop's fonts, which want the application
// object the program always has.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // A few bytes may give a frame of most of a gigabyte, which the reader rightly
    // draws: filling it takes longer than the fuzzer waits for one input.
    gMaxDecodedImageBytes = qint64(64) << 20;
    StartLifelongApplication<QGuiApplication>(argc, argv);
    return 0;
}

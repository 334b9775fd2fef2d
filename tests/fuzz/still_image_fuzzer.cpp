// libFuzzer target for the still-image readers from memory, through the format
// detection of the graphics importer: any bytes are opened by their content, and
// what no content claims is tried as the formats without a signature (Targa,
// MacPaint), which only the file type names. What opens is measured, drawn small,
// decoded near thumbnail size, described and has its metadata and profile read,
// every image of a file with several.
#include "FuzzEntry.h"
#include "GraphicsImporter.h"
#include "UserData.h"

#include <QGuiApplication>

#include <algorithm>

namespace {

constexpr int kSide = 48;      // drawn and decoded at about thumbnail size
constexpr SInt32 kImages = 3;  // images of a multi-image file looked at

void Exercise(GraphicsImporter& importer)
{
    Rect natural;
    if (importer.GetNaturalBounds(&natural) != noErr)
        return;
    const Rect small = MakeRect(0, 0, std::clamp<int>(natural.Height(), 1, kSide), std::clamp<int>(natural.Width(), 1, kSide));
    importer.SetBoundsRect(&small);
    Offscreen world(small);
    {
        StOffscreenPort port(world);
        importer.SetGWorld(port.Port());
        importer.Draw();
        importer.SetGWorld(nullptr);
    }
    QImage decoded;
    importer.DecodeImage(QSize(kSide, kSide), decoded);
    ImageDescription description;
    importer.GetImageDescription(description);
    importer.GetColorProfile();
    UserData metaData;
    importer.GetMetaData(metaData);
    SInt32 answer = 0;
    importer.DoesDrawAllPixels(&answer);
}

OSStatus Open(const QByteArray& bytes, OSType hint)
{
    std::unique_ptr<GraphicsImporter> importer;
    const OSStatus status = GraphicsImporter::OpenData(bytes, hint, importer);
    if (status != noErr)
        return status;
    SInt32 count = 0;
    importer->GetImageCount(&count);
    for (SInt32 index = 1; index <= std::min(count, kImages); ++index) {
        if (importer->SetImageIndex(index) == noErr)
            Exercise(*importer);
    }
    return noErr;
}

void Run(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    if (Open(bytes, 0) != cantFindHandler)
        return;
    Open(bytes, 'TPIC');
    Open(bytes, 'PNTG');
}

} // namespace

ORVEX_FUZZ_ENTRY(Run)

// Text in pictures and PDF pages is drawn with the desktop's fonts, which want the
// application object the program always has.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    StartLifelongApplication<QGuiApplication>(argc, argv);
    // The image plug-ins' warnings about damaged files would drown the fuzzer's own lines.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    return 0;
}

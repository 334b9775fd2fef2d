// libFuzzer target for the media factory on a file, as the catalogue meets a file
// it imports: the bytes are written under a name whose extension the first byte
// chooses (the extension of the format that byte begins, where one does, so the
// seeds keep theirs), the factory opens the medium, its caption, EXIF and image
// record are read and its thumbnail is made at a small size.
#include "CANPAInfo.h"
#include "CEXIFInfo.h"
#include "FuzzEntry.h"
#include "MediaFactory.h"
#include "RawDecoder.h"
#include "ThumbnailMaker.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>

#include <array>

extern "C" {
#include <libavutil/log.h>
}

namespace {

// Every extension the factory tells a kind by, one or more per kind it makes.
constexpr std::array<const char*, 40> kExtensions = { "jpg", "png", "gif", "tif", "bmp", "psd", "sgi", "tga", "pict",
    "pntg", "jp2", "pdf", "eps", "qtif", "mov", "mp4", "m4a", "avi", "wav", "aif", "mp3", "mid", "dv", "flc", "swf",
    "dfont", "ttf", "otf", "ttc", "crw", "cr2", "nef", "dng", "raf", "rw2", "orf", "icns", "webp", "tiff", "3gp" };

// The extension of the format whose files begin with `first`; for the many that
// begin with a zero byte the next bytes tell.
const char* ExtensionFor(const QByteArray& bytes)
{
    const uint8_t first = uint8_t(bytes.at(0));
    switch (first) {
    case 0xFF: return "jpg";
    case 0x89: return "png";
    case 'G': return "gif";
    case 'I': return bytes.startsWith("II\x1A") ? "crw" : "tif";
    case 'M': return bytes.startsWith("MThd") ? "mid" : "tif";
    case 'B': return "bmp";
    case '8': return "psd";
    case 0x01: return "sgi";
    case '%': return bytes.startsWith("%PDF") ? "pdf" : "eps";
    case 0xC5: return "eps";
    case 'R': return bytes.mid(8, 4) == "WAVE" ? "wav" : "avi";
    case 'F': return bytes.startsWith("FUJI") ? "raf" : "aif";
    case 'O': return "otf";
    case 't': return bytes.startsWith("ttcf") ? "ttc" : "ttf";
    case 0x00: {
        const QByteArray tag = bytes.mid(4, 4);
        if (tag == "ftyp")
            return bytes.mid(8, 3) == "M4A" ? "m4a" : "mov";
        if (tag == "moov" || tag == "mdat" || tag == "wide" || tag == "free" || tag == "skip")
            return "mov";
        if (tag == "idsc" || tag == "idat")
            return "qtif";
        if (tag == "jP  ")
            return "jp2";
        if (bytes.startsWith(QByteArray("\0\1\0\0", 4)))
            return "ttf";
        if (bytes.startsWith(QByteArray("\0\0\1\0", 4)))
            return "dfont";
        if (bytes.size() > 2 && bytes.at(2) == 10)
            return "tga"; // run-length true colour
        return bytes.size() >= 512 + 12 ? "pict" : "pntg";
    }
    default:
        return kExtensions[first % kExtensions.size()];
    }
}

QTemporaryDir& Folder()
{
    static QTemporaryDir folder;
    return folder;
}

void Write(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        abort();
}

// What reading a caption may throw: the catalogue gives a caption up on any failure.
template <typename Source>
void ReadCaption(const Source& source)
{
    try {
        CANPAInfo caption(source);
        (void)caption.GetHeadline();
    } catch (const std::exception&) {
    }
}

void Run(const uint8_t* data, size_t size)
{
    if (size == 0)
        return;
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString path = Folder().filePath(QStringLiteral("Medium.") + QLatin1String(ExtensionFor(bytes)));
    Write(path, bytes);
    const QUrl url = QUrl::fromLocalFile(path);
    const OSType type = GetMediaFileType(url);

    ReadCaption(url);
    std::unique_ptr<CMedia> media = CreateMediaForFile(url);
    if (!media)
        return;
    MediaImageInfo info;
    media->GetDescription(&info);
    if (std::unique_ptr<UserData> userData = media->CopyMetaData()) {
        ReadCaption(userData.get());
        if (!IsMovieFileType(type))
            CEXIFInfo exif(userData.get());
    }

    ThumbnailSettings settings;
    settings.size = 32;
    if (IsThumbnailMadeFromFile(type)) {
        ThumbnailRequest request;
        request.path = path;
        request.fileType = type;
        request.copyMetaData = true;
        MakeThumbnail(request, settings);
    } else {
        bool smallMedium = false;
        Offscreen drawn = DrawMediumForThumbnail(*media, settings, &smallMedium);
        RecordThumbnailPicture(drawn, settings, IsThumbnailSharpened(type));
    }
}

} // namespace

ORVEX_FUZZ_ENTRY(Run)

// The program's own setting: an application object, and preferences of the run's
// own in a temporary folder, never the user's.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    if (!Folder().isValid())
        abort();
    for (const char* variable : { "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME" })
        qputenv(variable, QFile::encodeName(Folder().filePath(QString::fromLatin1(variable))));
    qputenv("QT_QPA_PLATFORM", "offscreen");
    StartLifelongApplication<QApplication>(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("orvex"));
    QCoreApplication::setApplicationName(QStringLiteral("Orvex"));
    // The libraries' warnings about damaged files would drown the fuzzer's own lines.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    av_log_set_level(AV_LOG_QUIET);
    // Well inside the fuzzer's own ten seconds: a raw parser that spins is abandoned
    // as the program abandons it, and the input counts as handled.
    RawDecoder::SetTimeLimits(2000, 4000);
    return 0;
}

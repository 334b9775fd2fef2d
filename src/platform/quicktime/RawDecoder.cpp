#include "RawDecoder.h"

#include "ExceptionCode.h"
#include "MovieAtomReader.h"
#include "RegularFile.h"

#include <QFile>
#include <QDateTime>
#include <QFileInfo>

#include <libraw/libraw.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>

// The module "orvex-raw": the functions that RawDecoderOpen.cpp calls through its entry.
namespace RawDecoder::Module {
namespace {

std::mutex gDecoderLock;
std::atomic<bool> gCancelRequested { false };

OSStatus CodeForLibRawError(int error)
{
    switch (error) {
    case LIBRAW_SUCCESS:
        return noErr;
    case LIBRAW_FILE_UNSUPPORTED:
        return cantFindHandler;
    case LIBRAW_REQUEST_FOR_NONEXISTENT_IMAGE:
    case LIBRAW_NO_THUMBNAIL:
    case LIBRAW_UNSUPPORTED_THUMBNAIL:
        return kRawNoPreviewErr;
    case LIBRAW_UNSUFFICIENT_MEMORY:
    case LIBRAW_TOO_BIG:
        return memFullErr;
    case LIBRAW_DATA_ERROR:
        return badFormat;
    case LIBRAW_IO_ERROR:
        // The file was opened and read: the decoder ran out of data it expected,
        // which is damage, not a disk error.
        return codecBadDataErr;
    case LIBRAW_CANCELLED_BY_CALLBACK:
        return userCanceledErr;
    default:
        return paramErr;
    }
}

void ThrowIfLibRawError(int error, const char* step, const QByteArray& path)
{
    if (error != LIBRAW_SUCCESS)
        ThrowOSErr_(CodeForLibRawError(error), path.toStdString() + ": " + step + ": " + libraw_strerror(error));
}

struct ProcessedImageDeleter {
    void operator()(libraw_processed_image_t* image) const { LibRaw::dcraw_clear_mem(image); }
};
using ProcessedImage = std::unique_ptr<libraw_processed_image_t, ProcessedImageDeleter>;

// LibRaw's file stream that notices reads past the end: stripped or truncated raw data
// would otherwise decode to an image of zeros and count as a success.
// Once its work is abandoned (it ran past its time), every read ends the parse that
// is running: LibRaw unwinds its own cancel exception like a callback's.
class CheckedFileStream : public LibRaw_file_datastream {
public:
    CheckedFileStream(const char* path, const std::atomic<bool>* abandoned)
        : LibRaw_file_datastream(path)
        , mAbandoned(abandoned)
    {
    }
    int read(void* buffer, size_t size, size_t count) override
    {
        CheckAbandoned();
        const int got = LibRaw_file_datastream::read(buffer, size, count);
        if (got < 0 || size_t(got) < count)
            mShortRead = true;
        return got;
    }
    int seek(INT64 offset, int whence) override
    {
        CheckAbandoned();
        return LibRaw_file_datastream::seek(offset, whence);
    }
    int get_char() override
    {
        CheckAbandoned();
        const int c = LibRaw_file_datastream::get_char();
        if (c < 0)
            mShortRead = true;
        return c;
    }
    char* gets(char* buffer, int size) override
    {
        CheckAbandoned();
        return LibRaw_file_datastream::gets(buffer, size);
    }
    int scanf_one(const char* format, void* value) override
    {
        CheckAbandoned();
        return LibRaw_file_datastream::scanf_one(format, value);
    }
    bool mShortRead = false;

private:
    void CheckAbandoned() const
    {
        if (mAbandoned && mAbandoned->load(std::memory_order_relaxed))
            throw LIBRAW_EXCEPTION_CANCELLED_BY_CALLBACK;
    }
    const std::atomic<bool>* mAbandoned;
};

// One open raw file: the stream outlives the decoder that reads it. The maker's own Make
// and Model tags are caught on the way, since LibRaw keeps only normalised names.
// LibRaw with the raw data's place in the file in view.
class CheckedLibRaw : public LibRaw {
public:
    CheckedLibRaw()
        : LibRaw(LIBRAW_OPTIONS_NONE)
    {
    }
    INT64 DataOffset() const { return libraw_internal_data.unpacker_data.data_offset; }
    INT64 DataSize() const { return libraw_internal_data.unpacker_data.data_size; }
};

struct RawSession {
    std::unique_ptr<CheckedFileStream> stream;
    std::unique_ptr<CheckedLibRaw> raw; // large: on the heap
    QByteArray make;
    QByteArray model;
    int dataErrors = 0;
    int openStatus = LIBRAW_SUCCESS;
    QByteArray path; // named in every failure
};

constexpr int kMakeTag = 0x010F;
// No encoding of sensor data, however well it compresses, takes less than a bit per 16 pixels.
constexpr double kMinPixelsPerBitInverse = 16;
constexpr int kModelTag = 0x0110;
constexpr int kMaxTagText = 256;

void TagCallback(void* context, int tag, int type, int length, unsigned int, void* stream, INT64)
{
    auto* session = static_cast<RawSession*>(context);
    const int ifdTag = tag & 0xFFFF;
    if ((ifdTag != kMakeTag && ifdTag != kModelTag) || type != 2 || length <= 0 || length > kMaxTagText)
        return;
    QByteArray& target = ifdTag == kMakeTag ? session->make : session->model;
    if (!target.isEmpty())
        return; // the first image directory's tags are the camera's
    auto* input = static_cast<LibRaw_abstract_datastream*>(stream);
    const INT64 at = input->tell();
    QByteArray text(length, '\0');
    const int got = input->read(text.data(), 1, size_t(length));
    input->seek(at, SEEK_SET);
    if (got > 0)
        target = text.left(got).split('\0').front().trimmed();
}

void DataErrorCallback(void* context, const char*, int)
{
    ++static_cast<RawSession*>(context)->dataErrors;
}

// Canon's CIFF files (.crw) keep make and model in record 0x080A of their heap, which LibRaw
// reads but reports only in normalised form. A small bounded walk of the heaps finds them.
constexpr int kCIFFHeaderSize = 26;
constexpr UInt16 kCIFFMakeModelTag = 0x080A;
constexpr int kCIFFMaxDepth = 4;

bool FindCIFFMakeModel(QFile& file, bool littleEndian, qint64 begin, qint64 end, int depth, QByteArray& out)
{
    auto read = [&](qint64 at, qint64 count) -> QByteArray {
        if (at < begin || count < 0 || at + count > end || !file.seek(at))
            return {};
        return file.read(count);
    };
    auto number = [&](const QByteArray& b, int at, int size) -> UInt32 {
        UInt32 v = 0;
        for (int i = 0; i < size; ++i) {
            const UInt32 byte = static_cast<unsigned char>(b[at + (littleEndian ? size - 1 - i : i)]);
            v = (v << 8) | byte;
        }
        return v;
    };
    if (depth > kCIFFMaxDepth || end - begin < 6)
        return false;
    const QByteArray tail = read(end - 4, 4);
    if (tail.size() != 4)
        return false;
    const qint64 directory = begin + number(tail, 0, 4);
    const QByteArray countBytes = read(directory, 2);
    if (countBytes.size() != 2)
        return false;
    const int count = int(number(countBytes, 0, 2));
    const QByteArray entries = read(directory + 2, qint64(count) * 10);
    if (entries.size() != count * 10)
        return false;
    for (int i = 0; i < count; ++i) {
        const UInt16 tag = UInt16(number(entries, i * 10, 2));
        const qint64 size = number(entries, i * 10 + 2, 4);
        const qint64 offset = begin + number(entries, i * 10 + 6, 4);
        if ((tag & 0xC000) != 0)
            continue; // data kept in the entry itself
        const int type = (tag >> 8) & 0x38;
        if (type == 0x28 || type == 0x30) {
            if (size > 0 && offset + size <= end && FindCIFFMakeModel(file, littleEndian, offset, offset + size, depth + 1, out))
                return true;
        } else if ((tag & 0x3FFF) == kCIFFMakeModelTag && size > 0 && size <= kMaxTagText) {
            out = read(offset, size);
            return !out.isEmpty();
        }
    }
    return false;
}

void ReadCIFFMakeModel(const QString& path, RawSession& session)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QByteArray header = file.read(kCIFFHeaderSize);
    if (header.size() != kCIFFHeaderSize || header.mid(6, 8) != "HEAPCCDR" || (header.left(2) != "II" && header.left(2) != "MM"))
        return;
    const bool littleEndian = header.startsWith("II");
    QByteArray record;
    if (!FindCIFFMakeModel(file, littleEndian, kCIFFHeaderSize, file.size(), 0, record))
        return;
    const QList<QByteArray> parts = record.split('\0');
    if (parts.size() >= 2 && session.make.isEmpty()) {
        session.make = parts[0].trimmed();
        session.model = parts[1].trimmed();
    }
}

// Opens `path` in a fresh decoder. A file LibRaw parsed but cannot decode keeps its
// identification; `allowUnsupported` lets Identify report it.
std::unique_ptr<RawSession> OpenRaw(const QString& path, const std::atomic<bool>& abandoned,
    bool allowUnsupported = false)
{
    // Only a regular file: a pipe named like a raw file would hold the open for good.
    if (const OSStatus status = CheckRegularFile(path))
        ThrowOSErr_(status == notAFileErr ? status : fnfErr, path.toStdString());
    auto session = std::make_unique<RawSession>();
    session->path = QFile::encodeName(path);
    session->stream = std::make_unique<CheckedFileStream>(QFile::encodeName(path).constData(), &abandoned);
    if (!session->stream->valid())
        ThrowOSErr_(ioErr, path.toStdString());
    session->raw = std::make_unique<CheckedLibRaw>();
    session->raw->set_exifparser_handler(TagCallback, session.get());
    session->raw->set_dataerror_handler(DataErrorCallback, session.get());
    session->openStatus = session->raw->open_datastream(session->stream.get());
    if (session->make.isEmpty())
        ReadCIFFMakeModel(path, *session);
    if (session->openStatus != LIBRAW_SUCCESS
        && !(allowUnsupported && session->openStatus == LIBRAW_FILE_UNSUPPORTED && session->raw->imgdata.idata.make[0]))
        ThrowIfLibRawError(session->openStatus, "open", session->path);
    return session;
}

// Unpacks the raw data, failing when the data ran short or was corrupt.
void UnpackChecked(RawSession& session)
{
    // Some decoders stop quietly at missing data; a stripped file must not pass as an image.
    const INT64 offset = session.raw->DataOffset();
    const INT64 size = session.raw->DataSize();
    const double pixels = double(session.raw->imgdata.sizes.raw_width) * session.raw->imgdata.sizes.raw_height;
    if (size > 0 && (offset + size > session.stream->size() || double(size) * 8 * kMinPixelsPerBitInverse < pixels))
        ThrowOSErr_(codecBadDataErr, session.path.toStdString() + ": raw data smaller than the image it must hold");
    session.stream->mShortRead = false;
    session.dataErrors = 0;
    ThrowIfLibRawError(session.raw->unpack(), "unpack", session.path);
    if (session.stream->mShortRead)
        ThrowOSErr_(codecBadDataErr, session.path.toStdString() + ": raw data cut short");
    if (session.dataErrors)
        ThrowOSErr_(codecBadDataErr, session.path.toStdString() + ": raw data corrupted");
}

int OrientationFromFlip(int flip)
{
    // LibRaw's flip: 3 half turn, 5 quarter counter-clockwise, 6 quarter clockwise.
    return (flip == 3 || flip == 5 || flip == 6) ? flip : 0;
}

QImage ImageFromProcessed(const libraw_processed_image_t& processed)
{
    const int width = processed.width;
    const int height = processed.height;
    const int colors = processed.colors;
    if (processed.type != LIBRAW_IMAGE_BITMAP || (colors != 1 && colors != 3) || (processed.bits != 8 && processed.bits != 16))
        ThrowOSErr_(kRawNoPreviewErr, "bitmap layout not understood");
    const qint64 expected = qint64(width) * height * colors * (processed.bits / 8);
    if (width <= 0 || height <= 0 || expected > qint64(processed.data_size))
        ThrowOSErr_(badFormat, "bitmap smaller than its size");

    if (processed.bits == 8) {
        QImage image(width, height, QImage::Format_RGB32);
        if (image.isNull())
            ThrowOSErr_(memFullErr);
        const unsigned char* p = processed.data;
        for (int y = 0; y < height; ++y) {
            auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < width; ++x, p += colors)
                line[x] = colors == 3 ? qRgb(p[0], p[1], p[2]) : qRgb(p[0], p[0], p[0]);
        }
        return image;
    }
    QImage image(width, height, QImage::Format_RGBX64);
    if (image.isNull())
        ThrowOSErr_(memFullErr);
    const auto* p = reinterpret_cast<const quint16*>(processed.data);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgba64*>(image.scanLine(y));
        for (int x = 0; x < width; ++x, p += colors)
            line[x] = colors == 3 ? QRgba64::fromRgba64(p[0], p[1], p[2], 0xFFFF) : QRgba64::fromRgba64(p[0], p[0], p[0], 0xFFFF);
    }
    return image;
}

std::atomic<int> gIdentifyLimitMs { 10'000 };
std::atomic<int> gDecodeLimitMs { 120'000 };
std::atomic<int> gAbandonedCount { 0 };

// What a bounded call and its thread share; the thread keeps it alive once abandoned.
template <typename Result>
struct BoundedWork {
    std::mutex lock;
    std::condition_variable done;
    bool finished = false;
    std::optional<Result> result;
    std::exception_ptr error;
    std::atomic<bool> abandoned { false };
    // Held while the caller's cancel check runs, so that it never runs once the
    // caller has given up (and what it reads may be gone).
    std::mutex cancelLock;
    std::function<bool()> cancel;
};

// LibRaw on a file runs on a thread of its own, waited for at most `limit`: some of
// its parsers spin for minutes on a few hostile bytes, and nothing may hold the
// program for that. Past the limit the file counts as damaged and the work is
// abandoned: its stream throws at its next read, and the thread frees what it holds
// whenever the library returns.
// Files whose work was abandoned, as they were then (path, size, modification time):
// asked again, they fail at once instead of tying up another thread.
std::mutex gAbandonedLock;
std::set<QString> gAbandonedFiles;

QString FileVersionKey(const QString& path)
{
    const QFileInfo info(path);
    return path + QLatin1Char('\n') + QString::number(info.size()) + QLatin1Char('\n')
        + QString::number(info.lastModified().toMSecsSinceEpoch());
}

template <typename Result>
Result RunWithinLimit(int limitMs, const char* what, const QString& path, std::function<bool()> cancel,
    std::function<Result(BoundedWork<Result>&)> work)
{
    const QString key = FileVersionKey(path);
    {
        std::lock_guard lock(gAbandonedLock);
        if (gAbandonedFiles.count(key))
            ThrowOSErr_(codecBadDataErr, path.toStdString() + ": its reading was abandoned before; taken as damaged");
    }
    auto shared = std::make_shared<BoundedWork<Result>>();
    shared->cancel = std::move(cancel);
    std::thread([shared, work = std::move(work)] {
        std::optional<Result> result;
        std::exception_ptr error;
        try {
            result.emplace(work(*shared));
        } catch (...) {
            error = std::current_exception();
        }
        {
            std::lock_guard lock(shared->lock);
            shared->result = std::move(result);
            shared->error = error;
            shared->finished = true;
        }
        shared->done.notify_all();
    }).detach();

    std::unique_lock lock(shared->lock);
    if (!shared->done.wait_for(lock, std::chrono::milliseconds(limitMs), [&] { return shared->finished; })) {
        std::lock_guard cancelLock(shared->cancelLock);
        shared->abandoned = true;
        ++gAbandonedCount;
        {
            std::lock_guard abandonedLock(gAbandonedLock);
            gAbandonedFiles.insert(key);
        }
        ThrowOSErr_(codecBadDataErr, path.toStdString() + ": " + what + " ran past " + std::to_string(limitMs)
                + " ms and was abandoned; the file is taken as damaged");
    }
    if (shared->error)
        std::rethrow_exception(shared->error);
    return std::move(*shared->result);
}

// The library's work itself, on the bounded thread.
Identity IdentifyNow(const QString& path, const std::atomic<bool>& abandoned);
Preview ExtractPreviewNow(const QString& path, const std::atomic<bool>& abandoned);
QImage DecodeNow(const QString& path, const Options& options, bool fullSize, BoundedWork<QImage>& work);

int ProgressCallback(void* data, LibRaw_progress, int, int)
{
    if (gCancelRequested.load(std::memory_order_relaxed))
        return 1;
    auto* work = static_cast<BoundedWork<QImage>*>(data);
    std::lock_guard lock(work->cancelLock);
    if (work->abandoned.load())
        return 1;
    return (work->cancel && work->cancel()) ? 1 : 0;
}

} // namespace

void SetTimeLimits(int identifyMilliseconds, int decodeMilliseconds)
{
    gIdentifyLimitMs = identifyMilliseconds;
    gDecodeLimitMs = decodeMilliseconds;
}

int AbandonedCount()
{
    return gAbandonedCount.load();
}

Identity Identify(const QString& path)
{
    std::lock_guard lock(gDecoderLock);
    return RunWithinLimit<Identity>(gIdentifyLimitMs, "identification", path, {},
        [path](BoundedWork<Identity>& work) { return IdentifyNow(path, work.abandoned); });
}

Preview ExtractPreview(const QString& path)
{
    std::lock_guard lock(gDecoderLock);
    return RunWithinLimit<Preview>(gIdentifyLimitMs, "preview", path, {},
        [path](BoundedWork<Preview>& work) { return ExtractPreviewNow(path, work.abandoned); });
}

namespace {

Identity IdentifyNow(const QString& path, const std::atomic<bool>& abandoned)
{
    auto session = OpenRaw(path, abandoned, true);
    LibRaw* raw = session->raw.get();
    const libraw_data_t& data = raw->imgdata;

    Identity identity;
    identity.make = QString::fromLatin1(session->make.isEmpty() ? QByteArray(data.idata.make) : session->make).trimmed();
    identity.model = QString::fromLatin1(session->model.isEmpty() ? QByteArray(data.idata.model) : session->model).trimmed();
    identity.decoderMake = QString::fromLatin1(data.idata.make).trimmed();
    identity.decoderModel = QString::fromLatin1(data.idata.model).trimmed();
    identity.decodable = session->openStatus == LIBRAW_SUCCESS && data.idata.raw_count > 0 && data.sizes.raw_width > 0
        && data.sizes.raw_height > 0;
    identity.isDNG = data.idata.dng_version != 0;
    identity.rawWidth = data.sizes.raw_width;
    identity.rawHeight = data.sizes.raw_height;
    identity.imageWidth = data.sizes.width;
    identity.imageHeight = data.sizes.height;
    identity.colors = data.idata.colors;
    identity.orientation = OrientationFromFlip(data.sizes.flip);
    if (data.other.timestamp > 0) {
        // LibRaw made the timestamp with mktime() from the camera's wall time, so the same
        // local-time view gives the camera's clock back.
        identity.captureTime = QDateTime::fromSecsSinceEpoch(data.other.timestamp, Qt::LocalTime);
    }
    identity.isoSpeed = data.other.iso_speed;
    identity.shutter = data.other.shutter;
    identity.aperture = data.other.aperture;
    identity.focalLength = data.other.focal_len;
    identity.hasPreview = data.thumbnail.tlength > 0; // the format is known only once unpacked
    identity.previewWidth = data.thumbnail.twidth;
    identity.previewHeight = data.thumbnail.theight;

    if (identity.decodable) {
        // Sizes as a decode would give them (half size off: the caller halves for previews).
        raw->imgdata.params.half_size = 0;
        if (raw->adjust_sizes_info_only() == LIBRAW_SUCCESS) {
            identity.outputBounds = MakeRect(0, 0, raw->imgdata.sizes.iheight, raw->imgdata.sizes.iwidth);
        }
    }
    return identity;
}

Preview ExtractPreviewNow(const QString& path, const std::atomic<bool>& abandoned)
{
    auto session = OpenRaw(path, abandoned);
    LibRaw* raw = session->raw.get();
    session->stream->mShortRead = false;
    ThrowIfLibRawError(raw->unpack_thumb(), "preview", session->path);
    if (session->stream->mShortRead)
        ThrowOSErr_(codecBadDataErr, session->path.toStdString() + ": preview cut short");
    int error = LIBRAW_SUCCESS;
    ProcessedImage thumb(raw->dcraw_make_mem_thumb(&error));
    ThrowIfLibRawError(error, "preview", session->path);
    ThrowIfNil_(thumb);

    Preview preview;
    preview.orientation = OrientationFromFlip(raw->imgdata.sizes.flip);
    if (thumb->type == LIBRAW_IMAGE_JPEG) {
        preview.jpeg = QByteArray(reinterpret_cast<const char*>(thumb->data), int(thumb->data_size));
        if (!preview.jpeg.startsWith("\xFF\xD8"))
            ThrowOSErr_(kRawNoPreviewErr, "preview is not a JPEG");
    } else {
        preview.image = ImageFromProcessed(*thumb);
    }
    return preview;
}

} // namespace

void RequestCancel()
{
    gCancelRequested.store(true);
}

bool IsCancelRequested()
{
    return gCancelRequested.load();
}

QImage Decode(const QString& path, const Options& options, bool fullSize, const std::function<bool()>& cancel)
{
    std::lock_guard lock(gDecoderLock);
    // A request made before this decode began was meant for an earlier one.
    gCancelRequested.store(false);
    return RunWithinLimit<QImage>(gDecodeLimitMs, "decoding", path, cancel,
        [path, options, fullSize](BoundedWork<QImage>& work) { return DecodeNow(path, options, fullSize, work); });
}

namespace {

QImage DecodeNow(const QString& path, const Options& options, bool fullSize, BoundedWork<QImage>& work)
{
    auto session = OpenRaw(path, work.abandoned);
    LibRaw* raw = session->raw.get();
    libraw_output_params_t& params = raw->imgdata.params;
    params.output_bps = options.linearOutput ? 16 : 8;
    if (options.linearOutput) {
        params.gamm[0] = 1.0;
        params.gamm[1] = 1.0;
        params.no_auto_bright = 1;
    }
    params.half_size = options.halfSize && !fullSize ? 1 : 0;
    params.use_auto_wb = options.autoWhiteBalance ? 1 : 0;
    params.use_camera_wb = options.cameraWhiteBalance ? 1 : 0;
    params.four_color_rgb = options.fourColorRGB ? 1 : 0;
    params.no_interpolation = options.documentMode ? 1 : 0;
    params.user_qual = options.quickInterpolation && !fullSize ? 0 : -1;
    params.bright = options.brightness > 0 ? options.brightness : 1.0f;
    params.user_flip = -1;
    raw->set_progress_handler(ProgressCallback, &work);

    if (raw->imgdata.idata.raw_count <= 0)
        ThrowOSErr_(cantFindHandler, "no raw image");
    UnpackChecked(*session);
    ThrowIfLibRawError(raw->dcraw_process(), "process", session->path);
    int error = LIBRAW_SUCCESS;
    ProcessedImage processed(raw->dcraw_make_mem_image(&error));
    ThrowIfLibRawError(error, "output", session->path);
    ThrowIfNil_(processed);
    return ImageFromProcessed(*processed);
}

} // namespace

} // namespace RawDecoder::Module

extern "C" Q_DECL_EXPORT const RawDecoder::Functions* OrvexRawDecoder()
{
    using namespace RawDecoder::Module;
    static const RawDecoder::Functions functions {
        &Identify, &ExtractPreview, &Decode, &RequestCancel, &IsCancelRequested, &SetTimeLimits, &AbandonedCount};
    return &functions;
}

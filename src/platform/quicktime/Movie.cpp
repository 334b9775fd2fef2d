#include "Movie.h"

#include "ExceptionCode.h"
#include "GraphicsErrors.h"

#include <QFile>
#include <QFileInfo>
#include <QTransform>
#include <QUrl>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <cmath>
#include <cstring>
#include <limits>

namespace {

constexpr TimeScale kDefaultTimeScale = 600; // the Movie Toolbox's own default
constexpr int kMaxPacketsScanned = 200000;
constexpr int kProbeBytes = 4096;
constexpr int64_t kTailBytes = 256 * 1024; // first look for the last timestamps within this much of the end

TimeValue ClampToTimeValue(SInt64 value)
{
    return TimeValue(std::clamp<SInt64>(value, 0, std::numeric_limits<TimeValue>::max()));
}

bool IsLocalPath(const QString& location)
{
    return !location.contains(QLatin1String("://")) || location.startsWith(QLatin1String("file://"));
}

QString LocalPath(const QString& location)
{
    return location.startsWith(QLatin1String("file://")) ? QUrl(location).toLocalFile() : location;
}

// After libavformat refused a file: tell data no demuxer knows from a known format that is broken.
OSStatus CodeForOpenFailure(const QString& path)
{
    QFile file(path);
    if (!file.exists())
        return fnfErr;
    if (!file.open(QIODevice::ReadOnly))
        return permErr;
    QByteArray head = file.read(kProbeBytes);
    if (head.isEmpty())
        return cantFindHandler;
    // Judged by the content alone: a name ending in .mov says nothing about the bytes.
    head.append(QByteArray(AVPROBE_PADDING_SIZE, '\0'));
    AVProbeData probe {};
    probe.filename = "";
    probe.buf = reinterpret_cast<unsigned char*>(head.data());
    probe.buf_size = int(head.size() - AVPROBE_PADDING_SIZE);
    int score = 0;
    const bool known = av_probe_input_format3(&probe, 1, &score) && score > AVPROBE_SCORE_EXTENSION;
    return known ? OSStatus(invalidMovie) : OSStatus(cantFindHandler);
}

// The end of the last packet, in microseconds after the start, read from the file's tail: for
// containers that store no duration, where libavformat's guess from the bit rate or from a few
// timestamps can be far short. -1 where no timestamp is found or the file cannot be searched.
SInt64 DurationFromLastPackets(AVFormatContext* format)
{
    if (!format->pb || !(format->pb->seekable & AVIO_SEEKABLE_NORMAL) || (format->iformat->flags & AVFMT_NO_BYTE_SEEK))
        return -1;
    const int64_t size = avio_size(format->pb);
    if (size <= 0)
        return -1;
    AVPacket* packet = av_packet_alloc();
    if (!packet)
        return -1;
    const int64_t start = format->start_time == AV_NOPTS_VALUE ? 0 : format->start_time;
    SInt64 end = -1;
    for (int64_t window = kTailBytes; end < 0; window *= 4) {
        const int64_t from = std::max<int64_t>(0, size - window);
        if (avformat_seek_file(format, -1, from, from, from, AVSEEK_FLAG_BYTE) < 0)
            break;
        for (int packets = 0; packets < kMaxPacketsScanned && av_read_frame(format, packet) >= 0; ++packets) {
            const AVStream* stream = format->streams[packet->stream_index];
            // Packets between headers carry only a decoding time, which libavformat fills in.
            const int64_t time = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
            if (time != AV_NOPTS_VALUE) {
                const int64_t last = time + std::max<int64_t>(packet->duration, 0);
                end = std::max<SInt64>(end, av_rescale_q(last, stream->time_base, AV_TIME_BASE_Q) - start);
            }
            av_packet_unref(packet);
        }
        if (from == 0)
            break;
    }
    av_packet_free(&packet);
    if (avformat_seek_file(format, -1, 0, 0, 0, AVSEEK_FLAG_BYTE) < 0)
        avformat_seek_file(format, -1, std::numeric_limits<int64_t>::min(), start, start, 0);
    return end;
}

} // namespace

// The bytes of a movie held in memory, read by libavformat through its I/O callbacks.
struct MemorySource {
    QByteArray data;
    qint64 position = 0;

    static int Read(void* opaque, uint8_t* buffer, int size)
    {
        auto* source = static_cast<MemorySource*>(opaque);
        const qint64 left = source->data.size() - source->position;
        if (left <= 0)
            return AVERROR_EOF;
        const int count = int(std::min<qint64>(left, size));
        std::memcpy(buffer, source->data.constData() + source->position, size_t(count));
        source->position += count;
        return count;
    }
    static int64_t Seek(void* opaque, int64_t offset, int whence)
    {
        auto* source = static_cast<MemorySource*>(opaque);
        const qint64 size = source->data.size();
        switch (whence & ~AVSEEK_FORCE) {
        case AVSEEK_SIZE:
            return size;
        case SEEK_SET:
            break;
        case SEEK_CUR:
            offset += source->position;
            break;
        case SEEK_END:
            offset += size;
            break;
        default:
            return AVERROR(EINVAL);
        }
        if (offset < 0 || offset > size)
            return AVERROR(EINVAL);
        source->position = offset;
        return offset;
    }
};

// The movie as libavformat and libavcodec read it.
class FFmpegMovie final : public Movie {
public:
    static std::unique_ptr<Movie> Open(const QString& location);
    static std::unique_ptr<Movie> OpenData(const QByteArray& data, const QString& location);
    static std::unique_ptr<Movie> OpenPCM(const QString& path, int bytesPerSample, int sampleRate, int channels);
    ~FFmpegMovie() override;

    QString ContainerName() const override;
    SInt64 DataSize() const override;
    bool HasAudio() const override;
    bool HasStreamingTrack() const override;
    Offscreen FrameAtTime(TimeValue time) override;
    TimeValue NextInterestingTime(TimeValue time, bool syncOnly) override;

private:
    struct State;
    FFmpegMovie();
    void ReadFacts();
    void ReadUserData();
    SInt64 ToStreamTime(int stream, TimeValue time) const;
    TimeValue FromStreamTime(int stream, SInt64 pts) const;
    QImage ToImage(const void* frame);

    std::unique_ptr<State> mState;
};

// The program's limit on decoded images (not this module's own copy of it).
const std::atomic<qint64>* gImageLimit = &gMaxDecodedImageBytes;

struct FFmpegMovie::State {
    std::unique_ptr<MemorySource> memory;
    AVIOContext* io = nullptr; // for a movie in memory
    AVFormatContext* format = nullptr;
    AVCodecContext* decoder = nullptr;
    SwsContext* scaler = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    AVFrame* kept = nullptr;
    bool streamed = false;
    int displayWidth = 0; // before the quarter turns
    int displayHeight = 0;

    ~State()
    {
        sws_freeContext(scaler);
        av_frame_free(&kept);
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&decoder);
        avformat_close_input(&format);
        if (io) {
            av_freep(&io->buffer);
            avio_context_free(&io);
        }
    }
};

FFmpegMovie::FFmpegMovie()
    : mState(std::make_unique<State>())
{
}

FFmpegMovie::~FFmpegMovie() = default;

std::unique_ptr<Movie> FFmpegMovie::Open(const QString& location)
{
    static const bool quiet = [] {
        av_log_set_level(AV_LOG_FATAL); // broken files are reported through our codes
        return true;
    }();
    (void)quiet;

    std::unique_ptr<FFmpegMovie> movie(new FFmpegMovie);
    movie->mLocation = location;
    const bool local = IsLocalPath(location);
    const QString path = local ? LocalPath(location) : location;
    if (local && !QFileInfo(path).isFile())
        ThrowOSErr_(fnfErr, path.toStdString());

    State& s = *movie->mState;
    const QByteArray name = local ? QFile::encodeName(path) : location.toUtf8();
    if (avformat_open_input(&s.format, name.constData(), nullptr, nullptr) < 0)
        ThrowOSErr_(local ? CodeForOpenFailure(path) : OSStatus(couldNotResolveDataRef), path.toStdString());
    if (avformat_find_stream_info(s.format, nullptr) < 0 || s.format->nb_streams == 0)
        ThrowOSErr_(invalidMovie, path.toStdString());
    const QString scheme = local ? QString() : QUrl(location).scheme().toLower();
    static const QStringList kStreamingSchemes = { "rtsp", "rtsps", "rtmp", "rtmps", "rtp", "udp", "mms", "mmsh", "srt" };
    s.streamed = kStreamingSchemes.contains(scheme)
        || (!local && (s.format->duration == AV_NOPTS_VALUE || s.format->duration <= 0));

    movie->ReadFacts();
    movie->ReadUserData();
    return movie;
}

std::unique_ptr<Movie> FFmpegMovie::OpenPCM(const QString& path, int bytesPerSample, int sampleRate, int channels)
{
    static const char* const kFormats[] = { "s8", "s16be", "s24be", "s32be" };
    if (bytesPerSample < 1 || bytesPerSample > 4 || sampleRate <= 0 || channels <= 0)
        ThrowOSErr_(paramErr, "PCM format out of range");
    if (!QFileInfo(path).isFile())
        ThrowOSErr_(fnfErr, path.toStdString());
    const AVInputFormat* format = av_find_input_format(kFormats[bytesPerSample - 1]);
    if (!format)
        ThrowOSErr_(cantFindHandler, "no PCM demuxer");
    std::unique_ptr<FFmpegMovie> movie(new FFmpegMovie);
    movie->mLocation = path;
    State& s = *movie->mState;
    AVDictionary* options = nullptr;
    av_dict_set_int(&options, "sample_rate", sampleRate, 0);
    av_dict_set_int(&options, "channels", channels, 0);
    const QByteArray name = QFile::encodeName(path);
    const int opened = avformat_open_input(&s.format, name.constData(), format, &options);
    av_dict_free(&options);
    if (opened < 0)
        ThrowOSErr_(CodeForOpenFailure(path), path.toStdString());
    if (avformat_find_stream_info(s.format, nullptr) < 0 || s.format->nb_streams == 0)
        ThrowOSErr_(invalidMovie, path.toStdString());
    movie->ReadFacts();
    movie->ReadUserData();
    return movie;
}

std::unique_ptr<Movie> FFmpegMovie::OpenData(const QByteArray& data, const QString& location)
{
    constexpr int kBufferSize = 64 * 1024;
    std::unique_ptr<FFmpegMovie> movie(new FFmpegMovie);
    movie->mLocation = location;
    State& s = *movie->mState;
    s.memory = std::make_unique<MemorySource>();
    s.memory->data = data;
    auto* buffer = static_cast<unsigned char*>(av_malloc(kBufferSize));
    if (!buffer)
        ThrowOSErr_(memFullErr);
    s.io = avio_alloc_context(buffer, kBufferSize, 0, s.memory.get(), &MemorySource::Read, nullptr, &MemorySource::Seek);
    if (!s.io) {
        av_free(buffer);
        ThrowOSErr_(memFullErr);
    }
    s.format = avformat_alloc_context();
    if (!s.format)
        ThrowOSErr_(memFullErr);
    s.format->pb = s.io;
    s.format->flags |= AVFMT_FLAG_CUSTOM_IO;
    // On failure avformat_open_input frees the context (not our I/O) and clears the pointer.
    if (avformat_open_input(&s.format, nullptr, nullptr, nullptr) < 0)
        ThrowOSErr_(cantFindHandler, location.toStdString());
    if (avformat_find_stream_info(s.format, nullptr) < 0 || s.format->nb_streams == 0)
        ThrowOSErr_(invalidMovie, location.toStdString());
    movie->ReadFacts();
    movie->ReadUserData();
    return movie;
}

QString FFmpegMovie::ContainerName() const
{
    return QString::fromLatin1(mState->format->iformat->name);
}

void FFmpegMovie::ReadFacts()
{
    AVFormatContext* format = mState->format;
    const bool quickTimeFamily = ContainerName().contains(QLatin1String("mov"));

    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVStream* stream = format->streams[i];
        if (stream->codecpar->codec_type != AVMEDIA_TYPE_VIDEO || (stream->disposition & AV_DISPOSITION_ATTACHED_PIC))
            continue;
        if (stream->codecpar->width <= 0 || stream->codecpar->height <= 0)
            continue;
        if (mVideoStream < 0 || (stream->disposition & AV_DISPOSITION_DEFAULT))
            mVideoStream = int(i);
        if (stream->disposition & AV_DISPOSITION_DEFAULT)
            break;
    }

    if (mVideoStream >= 0) {
        AVStream* stream = format->streams[mVideoStream];
        int width = stream->codecpar->width;
        int height = stream->codecpar->height;
        const AVRational aspect = av_guess_sample_aspect_ratio(format, stream, nullptr);
        if (aspect.num > 0 && aspect.den > 0 && aspect.num != aspect.den)
            width = std::max(1, int(std::lround(double(width) * aspect.num / aspect.den)));
        mState->displayWidth = width;
        mState->displayHeight = height;

        double degrees = 0;
        if (const uint8_t* matrix = av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr))
            degrees = -av_display_rotation_get(reinterpret_cast<const int32_t*>(matrix));
        else if (const AVDictionaryEntry* tag = av_dict_get(stream->metadata, "rotate", nullptr, 0))
            degrees = std::atof(tag->value);
        if (std::isfinite(degrees)) {
            const long quarters = std::lround(degrees / 90.0) % 4;
            mQuarterTurns = int((quarters + 4) % 4);
        }
        if (mQuarterTurns % 2)
            std::swap(width, height);
        mNaturalBox = MakeRect(0, 0, height, width);
    }
    mBox = mNaturalBox;

    SInt64 durationMicroseconds = format->duration == AV_NOPTS_VALUE ? 0 : format->duration;
    if (quickTimeFamily && IsLocalPath(mLocation)) {
        try {
            const MovieHeaderAtoms atoms = ReadMovieHeaderAtoms(LocalPath(mLocation));
            if (atoms.foundMovieHeader && atoms.timeScale > 0 && atoms.timeScale <= UInt32(std::numeric_limits<TimeScale>::max())) {
                mTimeScale = TimeScale(atoms.timeScale);
                mDuration = ClampToTimeValue(SInt64(std::min<UInt64>(atoms.duration, UInt64(std::numeric_limits<SInt64>::max()))));
                mPosterTime = ClampToTimeValue(atoms.posterTime);
                for (const MovieUserDataItem& item : atoms.userData)
                    mUserData.AddUserData(item.data, item.type);
                return;
            }
        } catch (const ExceptionCode&) {
            // A header libavformat could read but we cannot: take its facts instead.
        }
    }
    if (format->duration_estimation_method != AVFMT_DURATION_FROM_STREAM && !mState->streamed) {
        const SInt64 fromTimestamps = DurationFromLastPackets(format);
        if (fromTimestamps > 0)
            durationMicroseconds = fromTimestamps;
    }
    mTimeScale = kDefaultTimeScale;
    mDuration = ClampToTimeValue(av_rescale(durationMicroseconds, mTimeScale, AV_TIME_BASE));
}

void FFmpegMovie::ReadUserData()
{
    if (!mUserData.IsEmpty())
        return; // read from the atoms with the header
    const AVDictionaryEntry* tag = nullptr;
    while ((tag = av_dict_get(mState->format->metadata, "", tag, AV_DICT_IGNORE_SUFFIX))) {
        const OSType type = UserDataTypeForTagKey(QByteArray(tag->key));
        if (type)
            mUserData.AddUserData(MakeUserDataTextPayload(QString::fromUtf8(tag->value)), type);
    }
}

SInt64 FFmpegMovie::DataSize() const
{
    SInt64 total = 0;
    for (unsigned i = 0; i < mState->format->nb_streams; ++i) {
        AVStream* stream = mState->format->streams[i];
        const int count = avformat_index_get_entries_count(stream);
        for (int e = 0; e < count; ++e)
            total += avformat_index_get_entry(stream, e)->size;
    }
    if (total == 0 && mState->format->pb)
        total = std::max<SInt64>(0, avio_size(mState->format->pb));
    return total;
}

bool FFmpegMovie::HasAudio() const
{
    for (unsigned i = 0; i < mState->format->nb_streams; ++i) {
        if (mState->format->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
            return true;
    }
    return false;
}

bool FFmpegMovie::HasStreamingTrack() const
{
    return mState->streamed;
}

SInt64 FFmpegMovie::ToStreamTime(int stream, TimeValue time) const
{
    const AVStream* st = mState->format->streams[stream];
    const SInt64 start = st->start_time == AV_NOPTS_VALUE ? 0 : st->start_time;
    return av_rescale_q(time, AVRational { 1, mTimeScale }, st->time_base) + start;
}

TimeValue FFmpegMovie::FromStreamTime(int stream, SInt64 pts) const
{
    const AVStream* st = mState->format->streams[stream];
    const SInt64 start = st->start_time == AV_NOPTS_VALUE ? 0 : st->start_time;
    return ClampToTimeValue(av_rescale_q_rnd(pts - start, st->time_base, AVRational { 1, mTimeScale },
        AVRounding(AV_ROUND_UP | AV_ROUND_PASS_MINMAX)));
}

Offscreen FFmpegMovie::FrameAtTime(TimeValue time)
{
    if (mVideoStream < 0)
        ThrowOSErr_(cantFindHandler, "no picture track");
    if (time < 0 || (mDuration > 0 && time > mDuration))
        ThrowOSErr_(invalidTime);
    State& s = *mState;
    AVStream* stream = s.format->streams[mVideoStream];
    if (!s.decoder) {
        const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
        if (!codec)
            ThrowOSErr_(cantFindHandler, "no decoder");
        s.decoder = avcodec_alloc_context3(codec);
        ThrowIfNil_(s.decoder);
        // Reaching a frame means decoding from the key frame before it: use every core for it.
        s.decoder->thread_count = 0;
        if (avcodec_parameters_to_context(s.decoder, stream->codecpar) < 0 || avcodec_open2(s.decoder, codec, nullptr) < 0)
            ThrowOSErr_(cantFindHandler, "decoder refused the stream");
        s.packet = av_packet_alloc();
        s.frame = av_frame_alloc();
        s.kept = av_frame_alloc();
        ThrowIfNil_(s.packet && s.frame && s.kept);
    }

    const SInt64 target = ToStreamTime(mVideoStream, time);
    if (av_seek_frame(s.format, mVideoStream, target, AVSEEK_FLAG_BACKWARD) < 0
        && avformat_seek_file(s.format, -1, std::numeric_limits<SInt64>::min(), 0, 0, 0) < 0)
        ThrowOSErr_(invalidMovie, "cannot seek");
    avcodec_flush_buffers(s.decoder);
    av_frame_unref(s.kept);

    bool haveKept = false;
    bool done = false;
    bool draining = false;
    auto takeFrames = [&] {
        while (!done && avcodec_receive_frame(s.decoder, s.frame) == 0) {
            const SInt64 pts = s.frame->best_effort_timestamp;
            if (pts == AV_NOPTS_VALUE || pts <= target || !haveKept) {
                av_frame_unref(s.kept);
                av_frame_move_ref(s.kept, s.frame);
                haveKept = true;
                // The frame on screen at `target` is the last one starting at or before it.
                if (pts != AV_NOPTS_VALUE && pts > target)
                    done = true;
            } else {
                done = true;
            }
            av_frame_unref(s.frame);
        }
    };
    int packets = 0;
    while (!done && !draining) {
        const int read = av_read_frame(s.format, s.packet);
        if (read < 0) {
            avcodec_send_packet(s.decoder, nullptr);
            draining = true;
        } else {
            if (s.packet->stream_index == mVideoStream)
                avcodec_send_packet(s.decoder, s.packet);
            av_packet_unref(s.packet);
            if (++packets > kMaxPacketsScanned)
                break;
        }
        takeFrames();
    }
    if (!haveKept)
        ThrowOSErr_(invalidMovie, "no frame decoded");
    return Offscreen(ToImage(s.kept));
}

QImage FFmpegMovie::ToImage(const void* framePointer)
{
    const AVFrame* frame = static_cast<const AVFrame*>(framePointer);
    State& s = *mState;
    const int width = s.displayWidth;
    const int height = s.displayHeight;
    ThrowIfImageTooLarge(width, height, "movie frame", gImageLimit->load());
    s.scaler = sws_getCachedContext(s.scaler, frame->width, frame->height, AVPixelFormat(frame->format), width, height,
        AV_PIX_FMT_RGB32, SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (!s.scaler)
        ThrowOSErr_(cantFindHandler, "no conversion for the pixel format");
    const AVPixFmtDescriptor* description = av_pix_fmt_desc_get(AVPixelFormat(frame->format));
    const bool yuv = description && !(description->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL)) && description->nb_components >= 3;
    if (yuv) {
        // The stream's own matrix and range; libswscale assumes BT.601 limited range otherwise.
        const int space = frame->colorspace == AVCOL_SPC_UNSPECIFIED || frame->colorspace == AVCOL_SPC_RGB ? SWS_CS_DEFAULT : frame->colorspace;
        const bool fullRange = frame->color_range == AVCOL_RANGE_JPEG || frame->format == AV_PIX_FMT_YUVJ420P
            || frame->format == AV_PIX_FMT_YUVJ422P || frame->format == AV_PIX_FMT_YUVJ444P;
        sws_setColorspaceDetails(s.scaler, sws_getCoefficients(space), fullRange ? 1 : 0, sws_getCoefficients(SWS_CS_DEFAULT), 1, 0,
            1 << 16, 1 << 16);
    }

    // libswscale's vector code stores whole blocks of pixels and runs past the end of a
    // row of the exact width, and past the last row: it draws into rows a block wider
    // with a spare row below, and the picture is cut out of them.
    constexpr int kScalerBlock = 32;
    QImage padded(width + kScalerBlock, height + 1, QImage::Format_ARGB32);
    if (padded.isNull())
        ThrowOSErr_(memFullErr);
    uint8_t* planes[4] = { padded.bits(), nullptr, nullptr, nullptr };
    int strides[4] = { int(padded.bytesPerLine()), 0, 0, 0 };
    sws_scale(s.scaler, frame->data, frame->linesize, 0, frame->height, planes, strides);
    QImage image = padded.copy(0, 0, width, height).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (mQuarterTurns)
        image = image.transformed(QTransform().rotate(90.0 * mQuarterTurns));
    return image;
}

TimeValue FFmpegMovie::NextInterestingTime(TimeValue time, bool syncOnly)
{
    State& s = *mState;
    const SInt64 microseconds = av_rescale(std::max<TimeValue>(time, 0), AV_TIME_BASE, mTimeScale);
    if (av_seek_frame(s.format, -1, microseconds, AVSEEK_FLAG_BACKWARD) < 0)
        avformat_seek_file(s.format, -1, std::numeric_limits<SInt64>::min(), 0, 0, 0);
    if (!s.packet) {
        s.packet = av_packet_alloc();
        ThrowIfNil_(s.packet);
    }
    // Packets come in decoding order; with reordered frames a later packet may start earlier,
    // so keep the earliest start found until the decoding times pass it.
    SInt64 best = -1;
    for (int packets = 0; packets < kMaxPacketsScanned && av_read_frame(s.format, s.packet) >= 0; ++packets) {
        const int index = s.packet->stream_index;
        const AVMediaType kind = s.format->streams[index]->codecpar->codec_type;
        const SInt64 pts = s.packet->pts != AV_NOPTS_VALUE ? s.packet->pts : s.packet->dts;
        const SInt64 dts = s.packet->dts;
        const bool key = s.packet->flags & AV_PKT_FLAG_KEY;
        av_packet_unref(s.packet);
        if (pts == AV_NOPTS_VALUE || (kind != AVMEDIA_TYPE_VIDEO && kind != AVMEDIA_TYPE_AUDIO))
            continue;
        if (best >= 0 && dts != AV_NOPTS_VALUE && FromStreamTime(index, dts) >= best)
            break;
        if ((syncOnly && !key) || pts <= ToStreamTime(index, time))
            continue;
        const TimeValue start = std::max<TimeValue>(FromStreamTime(index, pts), time + 1);
        if (best < 0 || start < best)
            best = start;
    }
    if (best >= 0)
        return TimeValue(best);
    return -1;
}

extern "C" Q_DECL_EXPORT const MovieOpeners* OrvexMovieOpeners(const std::atomic<qint64>* imageLimit)
{
    gImageLimit = imageLimit;
    static const MovieOpeners openers { &FFmpegMovie::Open, &FFmpegMovie::OpenData, &FFmpegMovie::OpenPCM };
    return &openers;
}

#include "Jpeg2000Writer.h"

#include "OpenJpegLibrary.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// The largest side OpenJPEG is asked to encode; the format allows more, memory does not.
constexpr int kMaxSide = 65535;

// Lossy qualities are compression ratios to the raw samples: 2.5:1 at the best lossy
// quality, doubling with each quarter of the scale down to 40:1 at the lowest. A ratio
// keeps the size predictable where a fidelity target would not be.
constexpr float kBestLossyRatio = 2.5f;

struct OutputStream {
    QByteArray data;
    OPJ_OFF_T position = 0;
};

OPJ_SIZE_T WriteToMemory(void* buffer, OPJ_SIZE_T count, void* user)
{
    auto* s = static_cast<OutputStream*>(user);
    const OPJ_OFF_T end = s->position + OPJ_OFF_T(count);
    if (end > s->data.size())
        s->data.resize(qsizetype(end));
    std::memcpy(s->data.data() + s->position, buffer, count);
    s->position = end;
    return count;
}

// The JP2 writer skips ahead over box headers and comes back to fill in their lengths.
OPJ_OFF_T SkipInMemory(OPJ_OFF_T count, void* user)
{
    auto* s = static_cast<OutputStream*>(user);
    const OPJ_OFF_T target = s->position + count;
    if (target < 0)
        return -1;
    if (target > s->data.size())
        s->data.resize(qsizetype(target), '\0');
    s->position = target;
    return count;
}

OPJ_BOOL SeekInMemory(OPJ_OFF_T to, void* user)
{
    auto* s = static_cast<OutputStream*>(user);
    if (to < 0)
        return OPJ_FALSE;
    if (to > s->data.size())
        s->data.resize(qsizetype(to), '\0');
    s->position = to;
    return OPJ_TRUE;
}

void Quiet(const char*, void*) {}

struct CodecDeleter {
    void operator()(opj_codec_t* c) const { OpenJpeg()->destroy_codec(c); }
};
struct StreamDeleter {
    void operator()(opj_stream_t* s) const { OpenJpeg()->stream_destroy(s); }
};
struct ImageDeleter {
    void operator()(opj_image_t* i) const { OpenJpeg()->image_destroy(i); }
};

} // namespace

OSStatus WriteJpeg2000File(const QImage& input, CodecQ quality, QByteArray& out)
{
    out.clear();
    if (input.isNull() || input.width() > kMaxSide || input.height() > kMaxSide)
        return paramErr;
    const OpenJpegFunctions* opj = OpenJpeg();
    if (!opj)
        return cantFindHandler;
    const bool alpha = input.hasAlphaChannel();
    const QImage image = input.convertToFormat(alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    const int width = image.width(), height = image.height();
    const int components = alpha ? 4 : 3;

    opj_image_cmptparm_t parameters[4] = {};
    for (int c = 0; c < components; ++c) {
        parameters[c].dx = parameters[c].dy = 1;
        parameters[c].w = OPJ_UINT32(width);
        parameters[c].h = OPJ_UINT32(height);
        parameters[c].prec = 8;
        parameters[c].sgnd = 0;
    }
    std::unique_ptr<opj_image_t, ImageDeleter> opjImage(
        opj->image_create(OPJ_UINT32(components), parameters, OPJ_CLRSPC_SRGB));
    if (!opjImage)
        return memFullErr;
    opjImage->x1 = OPJ_UINT32(width);
    opjImage->y1 = OPJ_UINT32(height);
    if (alpha)
        opjImage->comps[3].alpha = 1;
    for (int y = 0; y < height; ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        const qsizetype row = qsizetype(y) * width;
        for (int x = 0; x < width; ++x) {
            opjImage->comps[0].data[row + x] = qRed(line[x]);
            opjImage->comps[1].data[row + x] = qGreen(line[x]);
            opjImage->comps[2].data[row + x] = qBlue(line[x]);
            if (alpha)
                opjImage->comps[3].data[row + x] = qAlpha(line[x]);
        }
    }

    opj_cparameters_t settings;
    opj->set_default_encoder_parameters(&settings);
    settings.tcp_numlayers = 1;
    settings.tcp_mct = 1; // colour transform over the first three components
    if (quality >= codecLosslessQuality) {
        settings.irreversible = 0;
        settings.tcp_rates[0] = 0; // everything: lossless
        settings.cp_disto_alloc = 1;
    } else {
        settings.irreversible = 1;
        const int percent = std::clamp<int>(CodecQualityToPercent(quality), 0, 100);
        settings.tcp_rates[0] = kBestLossyRatio * std::exp2(float(100 - percent) / 25.0f);
        settings.cp_disto_alloc = 1;
    }
    // Fewer wavelet levels for small pictures: each level halves the smallest side.
    int levels = 0;
    for (int side = std::min(width, height); side >= 2 && levels < 5; side /= 2)
        ++levels;
    settings.numresolution = std::max(1, levels);

    std::unique_ptr<opj_codec_t, CodecDeleter> codec(opj->create_compress(OPJ_CODEC_JP2));
    if (!codec)
        return memFullErr;
    opj->set_error_handler(codec.get(), Quiet, nullptr);
    opj->set_warning_handler(codec.get(), Quiet, nullptr);
    opj->set_info_handler(codec.get(), Quiet, nullptr);
    if (!opj->setup_encoder(codec.get(), &settings, opjImage.get()))
        return codecErr;

    OutputStream memory;
    std::unique_ptr<opj_stream_t, StreamDeleter> stream(opj->stream_create(64 * 1024, OPJ_FALSE));
    if (!stream)
        return memFullErr;
    opj->stream_set_user_data(stream.get(), &memory, nullptr);
    opj->stream_set_write_function(stream.get(), WriteToMemory);
    opj->stream_set_skip_function(stream.get(), SkipInMemory);
    opj->stream_set_seek_function(stream.get(), SeekInMemory);
    if (!opj->start_compress(codec.get(), opjImage.get(), stream.get()) || !opj->encode(codec.get(), stream.get())
        || !opj->end_compress(codec.get(), stream.get()))
        return codecErr;
    stream.reset();
    out = std::move(memory.data);
    return out.isEmpty() ? codecErr : noErr;
}

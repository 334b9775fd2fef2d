#pragma once

// JPEG files of every layout a camera or an editor writes, made with libjpeg
// itself (Qt's writer offers none of the choices), and libjpeg's own decode at
// an eighth of the size to compare with.

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QRandomGenerator>
#include <QPainter>

#include <exiv2/exiv2.hpp>

#include <cstdio>
#include <functional>
#include <jpeglib.h>
#include <vector>

struct JpegLayout {
    int quality = 90;
    bool forceBaseline = true;   // false lets very low qualities store 16-bit quantisers
    J_COLOR_SPACE stored = JCS_YCbCr; // JCS_GRAYSCALE, JCS_RGB, JCS_CMYK
    int lumaH = 2, lumaV = 2;    // sampling of the first component; the others 1 x 1
    int restartInterval = 0;     // in MCUs
    bool progressive = false;
    bool arithmetic = false;
    bool scanPerComponent = false; // sequential, one scan for each component
};

// A picture with gradients, shapes and fine noise, so that every kind of
// Huffman code shows up.
inline QImage PhotoLike(int width, int height, quint32 seed = 7)
{
    QImage image(width, height, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient sky(0, 0, width, height);
    sky.setColorAt(0, QColor(40, 120, 220));
    sky.setColorAt(1, QColor(230, 160, 40));
    p.fillRect(image.rect(), sky);
    QRandomGenerator random(seed);
    for (int i = 0; i < 12; ++i) {
        p.setBrush(QColor::fromHsv(random.bounded(360), 40 + random.bounded(200), 40 + random.bounded(200)));
        p.setPen(Qt::NoPen);
        p.drawEllipse(random.bounded(width), random.bounded(height), 20 + random.bounded(width / 2),
            20 + random.bounded(height / 2));
    }
    p.end();
    for (int y = 0; y < height; ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int n = int(random.generate() % 17) - 8;
            const QRgb c = line[x];
            line[x] = qRgb(qBound(0, qRed(c) + n, 255), qBound(0, qGreen(c) + n, 255), qBound(0, qBlue(c) + n, 255));
        }
    }
    return image;
}

inline QByteArray WriteJpeg(const QImage& picture, const JpegLayout& layout)
{
    const QImage image = picture.convertToFormat(QImage::Format_RGB32);
    jpeg_compress_struct c {};
    jpeg_error_mgr errors {};
    c.err = jpeg_std_error(&errors);
    jpeg_create_compress(&c);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &buffer, &size);
    c.image_width = JDIMENSION(image.width());
    c.image_height = JDIMENSION(image.height());
    const bool gray = layout.stored == JCS_GRAYSCALE;
    const bool cmyk = layout.stored == JCS_CMYK;
    c.input_components = gray ? 1 : cmyk ? 4 : 3;
    c.in_color_space = gray ? JCS_GRAYSCALE : cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_colorspace(&c, layout.stored);
    jpeg_set_quality(&c, layout.quality, layout.forceBaseline);
    c.comp_info[0].h_samp_factor = layout.lumaH;
    c.comp_info[0].v_samp_factor = layout.lumaV;
    for (int i = 1; i < c.num_components; ++i)
        c.comp_info[i].h_samp_factor = c.comp_info[i].v_samp_factor = 1;
    c.restart_interval = unsigned(layout.restartInterval);
    c.arith_code = layout.arithmetic;
    if (layout.progressive)
        jpeg_simple_progression(&c);
    std::vector<jpeg_scan_info> scans;
    if (layout.scanPerComponent) {
        for (int i = 0; i < c.num_components; ++i)
            scans.push_back({ 1, { i, 0, 0, 0 }, 0, 63, 0, 0 });
        c.scan_info = scans.data();
        c.num_scans = int(scans.size());
    }
    jpeg_start_compress(&c, TRUE);
    std::vector<JSAMPLE> row(std::size_t(image.width()) * std::size_t(c.input_components));
    while (c.next_scanline < c.image_height) {
        const QRgb* in = reinterpret_cast<const QRgb*>(image.constScanLine(int(c.next_scanline)));
        JSAMPLE* out = row.data();
        for (int x = 0; x < image.width(); ++x) {
            if (gray) {
                *out++ = JSAMPLE(qGray(in[x]));
            } else {
                *out++ = JSAMPLE(qRed(in[x]));
                *out++ = JSAMPLE(qGreen(in[x]));
                *out++ = JSAMPLE(qBlue(in[x]));
                if (cmyk)
                    *out++ = 255; // stored inverted, as Adobe's programs do: no black
            }
        }
        JSAMPROW rows[] = { row.data() };
        jpeg_write_scanlines(&c, rows, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    QByteArray bytes(reinterpret_cast<const char*>(buffer), qsizetype(size));
    free(buffer);
    return bytes;
}

// libjpeg's decode at an eighth of the size: gray for gray files, else RGB32.
inline QImage LibjpegEighth(const QByteArray& bytes)
{
    jpeg_decompress_struct d {};
    jpeg_error_mgr errors {};
    d.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, reinterpret_cast<const unsigned char*>(bytes.constData()), (unsigned long)bytes.size());
    jpeg_read_header(&d, TRUE);
    d.scale_num = 1;
    d.scale_denom = 8;
    const bool gray = d.jpeg_color_space == JCS_GRAYSCALE;
    d.out_color_space = gray ? JCS_GRAYSCALE : JCS_EXT_BGRX;
    jpeg_start_decompress(&d);
    QImage image(int(d.output_width), int(d.output_height), gray ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
    while (d.output_scanline < d.output_height) {
        JSAMPROW rows[] = { image.scanLine(int(d.output_scanline)) };
        jpeg_read_scanlines(&d, rows, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    return image;
}

// Puts `preview` into a JPEG file as its EXIF thumbnail, with whatever else
// `more` sets in its EXIF, as a camera does.
inline void AddExifThumbnail(const QString& path, const QImage& preview,
    const std::function<void(Exiv2::ExifData&)>& more = {})
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    preview.save(&buffer, "JPEG", 90);
    auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
    image->readMetadata();
    Exiv2::ExifData& exif = image->exifData();
    if (more)
        more(exif);
    Exiv2::ExifThumb(exif).setJpegThumbnail(reinterpret_cast<const Exiv2::byte*>(bytes.constData()), long(bytes.size()));
    image->writeMetadata();
}

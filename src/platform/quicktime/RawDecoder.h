#pragma once

#include "Geometry.h"
#include "MacTypes.h"

#include <QByteArray>
#include <QDateTime>
#include <QImage>
#include <QString>

#include <functional>

// Camera raw files through LibRaw. The library keeps per-decoder state and is not
// reentrant in every code path, so a process-wide lock lets one identification or
// decode run at a time, from any thread. Results are in memory: no temporary files.
// Only regular files are opened, and every call is bounded in time.
namespace RawDecoder {

inline constexpr OSStatus kRawNoPreviewErr = -1; // the file carries no embedded preview in a form we can use

struct Identity {
    QString make;           // the maker's own Make and Model tags
    QString model;
    QString decoderMake;    // the decoder's normalised names ("Canon", "EOS 350D DIGITAL")
    QString decoderModel;
    bool decodable = false; // LibRaw knows the raw data's layout
    bool isDNG = false;
    int rawWidth = 0;       // the sensor image, as stored
    int rawHeight = 0;
    int imageWidth = 0;     // the visible image, before any turn
    int imageHeight = 0;
    Rect outputBounds;      // the output size: half size, pixel aspect and quarter turns applied
    int colors = 0;
    // Quarter turn the camera recorded: 0, 3 (half turn), 5 (counter-clockwise), 6 (clockwise).
    int orientation = 0;
    // The camera's clock at capture (its own wall time; LibRaw's timestamp read back through
    // the same local-time conversion that made it, so no time zone is ever changed).
    QDateTime captureTime;
    // Exposure as the decoder read it from the maker's own records; 0 where it found none.
    float isoSpeed = 0;
    float shutter = 0;     // seconds
    float aperture = 0;    // f-number
    float focalLength = 0; // millimetres
    bool hasPreview = false;
    int previewWidth = 0;
    int previewHeight = 0;
};

// The options of the raw preferences for one decode.
struct Options {
    bool linearOutput = false;     // 16 bits per sample, linear gamma
    bool halfSize = true;
    bool autoWhiteBalance = false;
    bool cameraWhiteBalance = true;
    bool fourColorRGB = false;
    bool documentMode = false;     // no interpolation: the sensor pattern as recorded
    bool quickInterpolation = true; // bilinear instead of the default adaptive interpolation
    float brightness = 1.0f;
};

struct Preview {
    QByteArray jpeg; // the camera's JPEG as stored, when the preview is one
    QImage image;    // otherwise the preview as pixels
    int orientation = 0;
};

// Identifies the file; throws fnfErr for a missing file, cantFindHandler (-2003) for a file
// LibRaw does not recognise, ioErr/badFormat for an unreadable one.
Identity Identify(const QString& path);
// The embedded preview; throws kRawNoPreviewErr when there is none or it is in a form we
// cannot hand to an importer.
Preview ExtractPreview(const QString& path);
// Decodes the raw data: an 8-bit RGB image, or 16-bit (Format_RGBX64) with linear output.
// `cancel` is asked now and then, from the decoding thread, inside the decoder lock: it
// must only read flags (never run events). A true answer, or RequestCancel, ends the
// decode with userCanceledErr.
QImage Decode(const QString& path, const Options& options, bool fullSize,
    const std::function<bool()>& cancel = {});

// Asks the decode that is running to end with userCanceledErr, from any thread: it only
// sets a flag, which the decode reads at its next progress step. A decode that starts
// later is not affected (the flag is cleared when a decode begins).
void RequestCancel();

// Identification and previews end after `identifyMilliseconds`, decodes after
// `decodeMilliseconds` (10 s and 120 s unless set): past its limit a call throws
// codecBadDataErr (the file is taken as damaged) and the library's work, which
// may spin on hostile data, is abandoned on a thread of its own.
void SetTimeLimits(int identifyMilliseconds, int decodeMilliseconds);
// How many calls were abandoned so far.
int AbandonedCount();
bool IsCancelRequested();

// What the raw module ("orvex-raw", with LibRaw and the libraries it brings) gives:
// its entry, `OrvexRawDecoder`, answers it, and the functions above call through it,
// loading the module at the first. A program that has RawDecoder.cpp linked in (the
// fuzzers) uses its own. Without the module, files are not recognised (cantFindHandler).
struct Functions {
    Identity (*identify)(const QString& path);
    Preview (*extractPreview)(const QString& path);
    QImage (*decode)(const QString& path, const Options& options, bool fullSize, const std::function<bool()>& cancel);
    void (*requestCancel)();
    bool (*isCancelRequested)();
    void (*setTimeLimits)(int identifyMilliseconds, int decodeMilliseconds);
    int (*abandonedCount)();
};

} // namespace RawDecoder

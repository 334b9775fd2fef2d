#pragma once

#include "GraphicsErrors.h"
#include "Geometry.h"
#include "MacTypes.h"
#include "Offscreen.h"
#include "Picture.h"
#include "UserData.h"

#include <QString>
#include <optional>
#include <string>
#include <vector>

class CMedia;

// What making a thumbnail reads from the preferences. It is taken on the GUI
// thread, so that the work itself can run on a worker thread.
struct ThumbnailSettings {
    SInt16 size = 160;                          // "DefaultThumbnailSize": side of the square
    CodecQ createQuality = codecLosslessQuality; // "ThumbnailCreateQuality"
    bool sharpen = true;                        // "SharpenThumbnail"
    SInt32 compression = 3;                     // "DefaultThumbnailCompression"
    bool matchColors = true;                    // "MediaUseICCProfile"
    bool useBuiltInThumbnail = true;            // not "IgnoreBuiltInThumbnail": a camera's preview of the same shape serves

    static ThumbnailSettings FromPreferences();
};

// The JPEG quality that a "DefaultThumbnailCompression" choice stores pictures
// at: none for 1 (uncompressed), 2 max, 3 high, 4 normal, 5 low, 6 min. Choices
// outside 1 to 6 store at the default's quality (high).
std::optional<CodecQ> ThumbnailCompressionQuality(SInt32 compression);

// The frame of a medium's thumbnail: its natural bounds fitted into the square
// of `size` keeping the aspect ratio, never enlarged, moved to the origin. A side
// that fitting would shrink to nothing keeps one pixel.
Rect ThumbnailFrame(const Rect& natural, SInt16 size);

// False for the types whose thumbnails are not sharpened: EPS, PDF, raw, fonts.
bool IsThumbnailSharpened(OSType fileType);

// Sharpens the drawn pixels when asked and records them as a picture of the
// world's frame (mode ditherCopy), compressed as the settings say.
Picture RecordThumbnailPicture(Offscreen& drawn, const ThumbnailSettings& settings, bool sharpen);

// Draws a medium at its thumbnail size into a new 32-bit world: quality from
// the settings, the medium's natural bounds fitted into the square, drawn with
// colour matching. Throws 'asrt' for a medium without area and the medium's
// codes. Media are GUI-thread objects: call this on the GUI thread.
Offscreen DrawMediumForThumbnail(CMedia& media, const ThumbnailSettings& settings, bool* smallMedium);

// True for the file types whose thumbnails are decoded straight from the file
// by a graphics importer (the still images), which is safe on a worker thread.
// Movies, fonts, raw files, EPS and PDF documents and PICT resources are drawn
// by their medium on the GUI thread instead.
bool IsThumbnailMadeFromFile(OSType fileType);

// One thumbnail to make: a still image file, or a medium already drawn at
// thumbnail size (DrawMediumForThumbnail) that only needs sharpening and
// compressing.
struct ThumbnailRequest {
    QString path;
    OSType fileType = 0;         // the item's type; decides sharpening and the importer's hint
    Offscreen drawn;             // when not null: the drawn medium, used instead of the file
    bool smallMedium = false;    // with `drawn`: the medium was narrower than the thumbnail
    bool copyMetaData = false;   // also read the file's metadata as user data
};

struct ThumbnailResult {
    OSStatus status = noErr;
    std::string reason; // what failed, with a failing status
    Picture picture;
    bool smallMedium = false;
    std::optional<UserData> metaData; // when asked and the file has some
};

// Makes one thumbnail. Touches nothing but the request, so it runs on any
// thread: the file is decoded at the smallest size the decoder offers that
// covers the frame, scaled to the frame, colour-matched, sharpened and
// compressed. Failures come back as the result's status.
ThumbnailResult MakeThumbnail(const ThumbnailRequest& request, const ThumbnailSettings& settings);

// Makes the thumbnails of many requests on the worker pool, as many at once as
// there are cores; the calling thread yields until all are done. Results come
// back in the order of the requests.
std::vector<ThumbnailResult> MakeThumbnails(const std::vector<ThumbnailRequest>& requests,
    const ThumbnailSettings& settings);

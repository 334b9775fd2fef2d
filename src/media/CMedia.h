#pragma once

#include "GraphicsErrors.h"
#include "Geometry.h"
#include "MacTypes.h"
#include "MatrixRecord.h"
#include "MediaImageInfo.h"
#include "Offscreen.h"
#include "PString.h"
#include "Picture.h"
#include "UserData.h"

#include <QByteArray>
#include <QColor>
#include <QList>
#include <QRgb>
#include <memory>

class GraphicsExporter;

// Kinds and the resource IDs of their kind icons.
enum : SInt32 { kMediaKindStill = 901, kMediaKindMovie = 987 };
enum : SInt16 { kMediaKindStillResID = 142, kMediaKindMovieResID = 139 };

// Rotation and flip codes.
enum : SInt32 {
    kMediaRotateNone = 0,
    kMediaRotateQuarter1 = 1, // the matrix turns -90 degrees (counter-clockwise)
    kMediaRotateQuarter2 = 2, // +90 degrees (clockwise)
    kMediaRotateHalf = 3,
    kMediaFlipNone = 0,
    kMediaFlipHorizontal = 1,
    kMediaFlipVertical = 2,
    kMediaFlipBoth = 3,
};

// The medium has no embedded thumbnail marked as such.
inline constexpr OSStatus kMediaNoEmbeddedThumbnailErr = 100024;
// A medium kind this build cannot open.
inline constexpr OSStatus kMediaKindUnavailableErr = cantFindHandler;

// One opened medium: measured, transformed, drawn, colour-matched, described and
// exported without its caller knowing its kind. Operations that return a status
// catch what is thrown inside them; constructors of the kinds throw.
class CMedia {
public:
    CMedia() = default;
    virtual ~CMedia();
    CMedia(const CMedia&) = delete;
    CMedia& operator=(const CMedia&) = delete;

    virtual SInt32 GetKind() = 0;
    virtual SInt16 GetKindResourceID() = 0;
    virtual OSStatus SetSourceRect(const Rect* r);
    virtual OSStatus GetSourceRect(Rect* r);
    virtual OSStatus SetDestRect(const Rect* r);
    // Kinds fill the rectangle and then call this, which exchanges width and
    // height for the quarter turns.
    virtual OSStatus GetNaturalBounds(Rect* r);
    virtual OSStatus SetBoundsRect(const Rect* r) = 0;
    virtual OSStatus GetBoundsRect(Rect* r) = 0;
    virtual OSStatus SetGraphicsMode(SInt32 mode, const QColor* opColor);
    virtual OSStatus GetGraphicsMode(SInt32* mode, QColor* opColor);
    virtual OSStatus SetQuality(CodecQ quality);
    virtual OSStatus GetQuality(CodecQ* quality);
    virtual OSStatus SetColorTable(const QList<QRgb>* table);
    virtual OSStatus GetColorTable(QList<QRgb>* table);
    virtual bool HasColorProfile();
    // The embedded ICC profile, owned by the medium; null when there is none.
    virtual const QByteArray* GetColorProfile();
    virtual OSStatus SetGWorld(CGrafPtr port) = 0;
    virtual OSStatus GetGWorld(CGrafPtr* port) = 0;
    virtual OSStatus SetMatrix(const MatrixRecord* m);
    virtual OSStatus GetMatrix(MatrixRecord* m);
    virtual void SetTransform(SInt32 rotation, SInt32 flip);
    virtual OSStatus ResetTransform();
    virtual OSStatus ApplyTransform();
    virtual bool IsTransformed();
    virtual SInt16 GetMaxZoom();
    virtual OSStatus Rotate(SInt32 rotation);
    virtual OSStatus Flip(SInt32 flip);
    virtual OSStatus GetAsPicture(Picture* out);
    virtual OSStatus GetThumbnailPicture(Picture* out);
    virtual OSStatus DrawMatched();
    virtual bool HasArea();
    virtual bool HasSound();
    virtual bool MayLeavePixelsUndrawn();
    virtual bool AlwaysFalse();
    virtual OSStatus Export(GraphicsExporter* exporter);
    virtual OSStatus CopyUserDataText(OSType type, Str255& out, SInt32 index);
    virtual UserData* GetMetaData();
    virtual std::unique_ptr<UserData> CopyMetaData();
    // The file's IPTC datasets as one IIM block (empty when it has none), when the
    // medium read them on opening; false when it cannot say without the file.
    virtual bool CopyIPTCBlock(QByteArray&) { return false; }
    virtual OSStatus GetDescription(MediaImageInfo* info);
    virtual bool Validate();
    virtual void SetSkipDecoding(bool skip);
    virtual void SetFullSizeDecode(bool fullSize);
    virtual OSStatus Draw() = 0;

    SInt32 GetRotation() const { return mRotation; }
    SInt32 GetFlip() const { return mFlip; }

protected:
    // Draws the medium at its bounds into an offscreen world of the bounds' size.
    OSStatus DrawIntoOffscreen(Offscreen& world, bool matched);

    UInt8 mTransformApplied = 0;
    SInt32 mRotation = 0;
    SInt32 mFlip = 0;
    UInt8 mSkipDecoding = 0;
    UInt8 mFullSizeDecode = 0;
};

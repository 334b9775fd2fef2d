#include "CMedia.h"

#include "PrefKeys.h"

#include "ColorMatching.h"
#include "ExceptionCode.h"
#include "GraphicsExporter.h"
#include "Preferences.h"
#include "UserData.h"

CMedia::~CMedia() = default;

OSStatus CMedia::SetSourceRect(const Rect*)
{
    return noErr;
}

OSStatus CMedia::GetSourceRect(Rect*)
{
    return noErr;
}

OSStatus CMedia::SetDestRect(const Rect*)
{
    return noErr;
}

OSStatus CMedia::GetNaturalBounds(Rect* r)
{
    if (!r)
        return paramErr;
    if (mRotation == kMediaRotateQuarter1 || mRotation == kMediaRotateQuarter2)
        std::swap(r->bottom, r->right);
    return noErr;
}

OSStatus CMedia::SetGraphicsMode(SInt32, const QColor*)
{
    return noErr;
}

OSStatus CMedia::GetGraphicsMode(SInt32*, QColor*)
{
    return noErr;
}

OSStatus CMedia::SetQuality(CodecQ)
{
    return noErr;
}

OSStatus CMedia::GetQuality(CodecQ*)
{
    return noErr;
}

OSStatus CMedia::SetColorTable(const QList<QRgb>*)
{
    return noErr;
}

OSStatus CMedia::GetColorTable(QList<QRgb>* table)
{
    if (table)
        table->clear();
    return noErr;
}

bool CMedia::HasColorProfile()
{
    return GetColorProfile() != nullptr;
}

const QByteArray* CMedia::GetColorProfile()
{
    return nullptr;
}

OSStatus CMedia::SetMatrix(const MatrixRecord*)
{
    return noErr;
}

OSStatus CMedia::GetMatrix(MatrixRecord*)
{
    return noErr;
}

void CMedia::SetTransform(SInt32 rotation, SInt32 flip)
{
    mRotation = rotation;
    mFlip = flip;
}

OSStatus CMedia::ResetTransform()
{
    MatrixRecord m;
    OSStatus status = GetMatrix(&m);
    if (status == noErr) {
        SetIdentityMatrix(m);
        status = SetMatrix(&m);
    }
    mTransformApplied = 0;
    mRotation = 0;
    mFlip = 0;
    return status;
}

OSStatus CMedia::ApplyTransform()
{
    return CatchCode([&] {
        if (mTransformApplied || !HasArea())
            return;
        if (mRotation != 0)
            ThrowIfOSErr_(Rotate(mRotation));
        if (mFlip != 0)
            ThrowIfOSErr_(Flip(mFlip));
        mTransformApplied = 1;
    });
}

bool CMedia::IsTransformed()
{
    return mRotation != 0 || mFlip != 0;
}

SInt16 CMedia::GetMaxZoom()
{
    return 1000;
}

OSStatus CMedia::Rotate(SInt32 rotation)
{
    return CatchCode([&] {
        Rect r;
        ThrowIfOSErr_(GetBoundsRect(&r));
        if (rotation == kMediaRotateQuarter1 || rotation == kMediaRotateQuarter2) {
            std::swap(r.bottom, r.right);
            ThrowIfOSErr_(SetBoundsRect(&r));
        }
        MatrixRecord m;
        ThrowIfOSErr_(GetMatrix(&m));
        switch (rotation) {
        case kMediaRotateQuarter1:
            RotateMatrix(m, -90 << 16, 0, 0);
            TranslateMatrix(m, 0, r.right << 16);
            break;
        case kMediaRotateQuarter2:
            RotateMatrix(m, 90 << 16, 0, 0);
            TranslateMatrix(m, r.bottom << 16, 0);
            break;
        case kMediaRotateHalf:
            RotateMatrix(m, 180 << 16, 0, 0);
            TranslateMatrix(m, (r.right - r.left) << 16, (r.bottom - r.top) << 16);
            break;
        default:
            ThrowOSErr_(paramErr);
        }
        ThrowIfOSErr_(SetMatrix(&m));
    });
}

OSStatus CMedia::Flip(SInt32 flip)
{
    return CatchCode([&] {
        Rect r;
        ThrowIfOSErr_(GetBoundsRect(&r));
        MatrixRecord m;
        ThrowIfOSErr_(GetMatrix(&m));
        switch (flip) {
        case kMediaFlipHorizontal:
            ScaleMatrix(m, -FixedOne, FixedOne, 0, 0);
            TranslateMatrix(m, r.right << 16, 0);
            break;
        case kMediaFlipVertical:
            ScaleMatrix(m, FixedOne, -FixedOne, 0, 0);
            TranslateMatrix(m, 0, r.bottom << 16);
            break;
        case kMediaFlipBoth:
            ScaleMatrix(m, -FixedOne, FixedOne, 0, 0);
            ScaleMatrix(m, FixedOne, -FixedOne, 0, 0);
            TranslateMatrix(m, 0, r.bottom << 16);
            TranslateMatrix(m, r.right << 16, 0);
            break;
        default:
            ThrowOSErr_(paramErr);
        }
        ThrowIfOSErr_(SetMatrix(&m));
    });
}

OSStatus CMedia::DrawIntoOffscreen(Offscreen& world, bool matched)
{
    CGrafPtr saved = nullptr;
    GetGWorld(&saved);
    StOffscreenPort port(world);
    port.Port()->setClipRect(ToQRect(world.Bounds()));
    OSStatus status = SetGWorld(port.Port());
    if (status == noErr)
        status = matched ? DrawMatched() : Draw();
    port.End();
    SetGWorld(saved);
    return status;
}

OSStatus CMedia::GetAsPicture(Picture* out)
{
    if (!out)
        return paramErr;
    return CatchCode([&] {
        Rect r;
        ThrowIfOSErr_(GetNaturalBounds(&r));
        Offscreen world(r);
        ThrowIfOSErr_(DrawIntoOffscreen(world, true));
        *out = Picture::FromOffscreen(world);
    });
}

OSStatus CMedia::GetThumbnailPicture(Picture*)
{
    return -1;
}

OSStatus CMedia::DrawMatched()
{
    OSStatus status = ApplyTransform();
    if (status != noErr)
        return status;
    if (!Pref::MediaUseICCProfile.Get() || !HasColorProfile())
        return Draw();

    return CatchCode([&] {
        CGrafPtr port = nullptr;
        ThrowIfOSErr_(GetGWorld(&port));
        ThrowIfNil_(port);
        Rect bounds;
        ThrowIfOSErr_(GetBoundsRect(&bounds));
        if (bounds.IsEmpty())
            return;
        Offscreen world(bounds);
        OSStatus drawn = DrawIntoOffscreen(world, false);
        // A profile that cannot be used leaves the image unmatched.
        if (const QByteArray* profile = GetColorProfile())
            MatchImageToDisplay(world.Image(), *profile);
        world.CopyTo(*port, bounds);
        ThrowIfOSErr_(drawn);
    });
}

bool CMedia::HasArea()
{
    Rect r;
    ThrowIfOSErr_(GetNaturalBounds(&r));
    return !r.IsEmpty();
}

bool CMedia::HasSound()
{
    return false;
}

bool CMedia::MayLeavePixelsUndrawn()
{
    return false;
}

bool CMedia::AlwaysFalse()
{
    return false;
}

OSStatus CMedia::Export(GraphicsExporter* exporter)
{
    if (!exporter)
        return err_NilPointer;
    return CatchCode([&] {
        Rect bounds;
        ThrowIfOSErr_(GetBoundsRect(&bounds));
        Offscreen world(bounds);
        ThrowIfOSErr_(DrawIntoOffscreen(world, true));
        exporter->SetInputOffscreen(world);
        // There is no progress window for exports; "MediaShowProgress" has nothing to show in.
        ThrowIfOSErr_(exporter->DoExport());
    });
}

OSStatus CMedia::CopyUserDataText(OSType type, Str255& out, SInt32 index)
{
    return CatchCode([&] {
        UserData* data = GetMetaData();
        ThrowIfNil_(data);
        QByteArray text;
        ThrowIfOSErr_(data->GetUserDataText(text, type, index, 0));
        out.AssignBytes(text.left(255));
    });
}

UserData* CMedia::GetMetaData()
{
    return nullptr;
}

std::unique_ptr<UserData> CMedia::CopyMetaData()
{
    return nullptr;
}

OSStatus CMedia::GetDescription(MediaImageInfo* info)
{
    if (!info)
        return paramErr;
    *info = MediaImageInfo();
    info->hasColorProfile = HasColorProfile() ? 1 : 0;
    return noErr;
}

bool CMedia::Validate()
{
    return true;
}

void CMedia::SetSkipDecoding(bool skip)
{
    mSkipDecoding = skip ? 1 : 0;
}

void CMedia::SetFullSizeDecode(bool fullSize)
{
    mFullSizeDecode = fullSize ? 1 : 0;
}

#include "CQTImageBaseMedia.h"

#include "PrefKeys.h"

#include "ExceptionCode.h"
#include "GraphicsExporter.h"
#include "Preferences.h"
#include "UserData.h"

#include <QPainter>

CQTImageBaseMedia::~CQTImageBaseMedia() = default;

GraphicsImporter& CQTImageBaseMedia::Importer()
{
    if (!mImporter)
        ThrowOSErr_(err_NilPointer, "still image without an importer");
    return *mImporter;
}

OSStatus CQTImageBaseMedia::SetSourceRect(const Rect* r)
{
    return CatchCode([&] { ThrowIfOSErr_(Importer().SetSourceRect(r)); });
}

OSStatus CQTImageBaseMedia::GetSourceRect(Rect* r)
{
    return CatchCode([&] { ThrowIfOSErr_(Importer().GetSourceRect(r)); });
}

OSStatus CQTImageBaseMedia::GetNaturalBounds(Rect* r)
{
    return CatchCode([&] {
        ThrowIfOSErr_(Importer().GetNaturalBounds(r));
        ThrowIfOSErr_(CMedia::GetNaturalBounds(r));
    });
}

OSStatus CQTImageBaseMedia::SetBoundsRect(const Rect* r)
{
    return CatchCode([&] {
        ThrowIfOSErr_(Importer().SetBoundsRect(r));
        mTransformApplied = 0; // the matrix is rebuilt from the bounds
    });
}

OSStatus CQTImageBaseMedia::GetBoundsRect(Rect* r)
{
    return CatchCode([&] { ThrowIfOSErr_(Importer().GetBoundsRect(r)); });
}

OSStatus CQTImageBaseMedia::SetGraphicsMode(SInt32 mode, const QColor* opColor)
{
    return CatchCode([&] { ThrowIfOSErr_(Importer().SetGraphicsMode(mode, opColor)); });
}

OSStatus CQTImageBaseMedia::GetGraphicsMode(SInt32* mode, QColor* opColor)
{
    return CatchCode([&] { ThrowIfOSErr_(Importer().GetGraphicsMode(mode, opColor)); });
}

OSStatus CQTImageBaseMedia::SetQuality(CodecQ quality)
{
    return CatchCode([&] { ThrowIfOSErr_(Importer().SetQuality(quality)); });
}

OSStatus CQTImageBaseMedia::GetQuality(CodecQ* quality)
{
    return CatchCode([&] { ThrowIfOSErr_(Importer().GetQuality(quality)); });
}

const ImageDescription& CQTImageBaseMedia::CachedDescription()
{
    if (!mDescription) {
        ImageDescription d;
        ThrowIfOSErr_(Importer().GetImageDescription(d));
        mDescription = d;
    }
    return *mDescription;
}

OSStatus CQTImageBaseMedia::SetColorTable(const QList<QRgb>* table)
{
    return CatchCode([&] {
        CachedDescription();
        mDescription->colorTable = table ? *table : QList<QRgb>();
    });
}

OSStatus CQTImageBaseMedia::GetColorTable(QList<QRgb>* table)
{
    if (!table)
        return paramErr;
    return CatchCode([&] { *table = CachedDescription().colorTable; });
}

const QByteArray* CQTImageBaseMedia::GetColorProfile()
{
    if (!mColorProfileLooked && mImporter) {
        mColorProfileLooked = true;
        mColorProfile = mImporter->GetColorProfile();
    }
    return mColorProfile.isEmpty() ? nullptr : &mColorProfile;
}

OSStatus CQTImageBaseMedia::SetGWorld(CGrafPtr port)
{
    return CatchCode([&] { ThrowIfOSErr_(Importer().SetGWorld(port)); });
}

OSStatus CQTImageBaseMedia::GetGWorld(CGrafPtr* port)
{
    return CatchCode([&] { ThrowIfOSErr_(Importer().GetGWorld(port)); });
}

OSStatus CQTImageBaseMedia::SetMatrix(const MatrixRecord* m)
{
    return CatchCode([&] { ThrowIfOSErr_(Importer().SetMatrix(m)); });
}

OSStatus CQTImageBaseMedia::GetMatrix(MatrixRecord* m)
{
    return CatchCode([&] { ThrowIfOSErr_(Importer().GetMatrix(m)); });
}

SInt16 CQTImageBaseMedia::GetMaxZoom()
{
    return static_cast<SInt16>(GetPrefNumber(QStringLiteral("MediaImageMaxZoom")));
}

OSStatus CQTImageBaseMedia::GetAsPicture(Picture* out)
{
    if (!out)
        return paramErr;
    return CatchCode([&] {
        if (mRotation != 0)
            ThrowIfOSErr_(Rotate(mRotation));
        if (mFlip != 0)
            ThrowIfOSErr_(Flip(mFlip));
        ThrowIfOSErr_(Importer().GetAsPicture(*out));
    });
}

OSStatus CQTImageBaseMedia::GetThumbnailPicture(Picture* out)
{
    if (!out)
        return paramErr;
    GraphicsImporter* importer = mImporter.get();
    if (!importer)
        return err_NilPointer;
    SInt32 index = 1;
    importer->GetImageIndex(&index);
    MatrixRecord matrix;
    importer->GetMatrix(&matrix);
    Rect source;
    importer->GetSourceRect(&source);
    OSStatus status = CatchCode([&] {
        SInt32 count = 0;
        ThrowIfOSErr_(importer->GetImageCount(&count));
        if (count <= 1)
            ThrowOSErr_(err_AssertFailed);
        ThrowIfOSErr_(importer->SetImageIndex(2));
        UserData data;
        ThrowIfOSErr_(importer->GetMetaData(data));
        QByteArray item;
        data.GetUserData(item, 'nth?', 1);
        bool marked = false;
        for (qsizetype at = 0; at + 4 <= item.size(); at += 4) {
            if (item.mid(at, 4) == "n=th") {
                marked = true;
                break;
            }
        }
        if (!marked)
            ThrowOSErr_(kMediaNoEmbeddedThumbnailErr);
        ThrowIfOSErr_(importer->GetAsPicture(*out));
    });
    importer->SetImageIndex(index);
    importer->SetSourceRect(&source);
    importer->SetMatrix(&matrix);
    return status;
}

bool CQTImageBaseMedia::MayLeavePixelsUndrawn()
{
    if (!mImporter)
        return true;
    SInt32 answer = graphicsImporterDontKnowIfDrawAllPixels;
    OSStatus status = mImporter->DoesDrawAllPixels(&answer);
    if (status == badComponentSelector)
        return false;
    if (status != noErr)
        return true;
    return answer != graphicsImporterDrawsAllPixels;
}

OSStatus CQTImageBaseMedia::Export(GraphicsExporter* exporter)
{
    if (!exporter)
        return err_NilPointer;
    return CatchCode([&] {
        exporter->SetInputImporter(&Importer());
        ThrowIfOSErr_(exporter->DoExport());
    });
}

UserData* CQTImageBaseMedia::GetMetaData()
{
    if (!mUserData && mImporter) {
        auto data = std::make_unique<UserData>();
        if (mImporter->GetMetaData(*data) == noErr)
            mUserData = std::move(data);
    }
    return mUserData.get();
}

std::unique_ptr<UserData> CQTImageBaseMedia::CopyMetaData()
{
    GetMetaData();
    return std::move(mUserData);
}

bool CQTImageBaseMedia::CopyIPTCBlock(QByteArray& out)
{
    return mImporter && mImporter->GetIptcBlock(out);
}

OSStatus CQTImageBaseMedia::GetDescription(MediaImageInfo* info)
{
    OSStatus status = CMedia::GetDescription(info);
    if (status != noErr)
        return status;
    return CatchCode([&] {
        const ImageDescription& d = CachedDescription();
        info->dataSize = d.dataSize;
        info->width = d.width;
        info->height = d.height;
        info->hRes = d.hRes;
        info->vRes = d.vRes;
        info->depth = d.depth;
        info->frameCount = d.frameCount;
        info->temporalQuality = SInt32(d.temporalQuality);
        info->spatialQuality = SInt32(d.spatialQuality);
        info->name.Assign(d.name);
    });
}

bool CQTImageBaseMedia::Validate()
{
    bool valid = false;
    return mImporter && mImporter->Validate(&valid) == noErr && valid;
}

OSStatus CQTImageBaseMedia::Draw()
{
    return CatchCode([&] {
        GraphicsImporter& importer = Importer();
        if (!Pref::MediaUseICCProfile.Get()) {
            SInt32 flags = 0;
            importer.GetFlags(&flags);
            importer.SetFlags(flags | kGraphicsImporterDontUseColorMatching);
        }
        if (MayLeavePixelsUndrawn()) {
            CGrafPtr port = nullptr;
            importer.GetGWorld(&port);
            Rect bounds;
            importer.GetBoundsRect(&bounds);
            if (port && port->isActive())
                port->fillRect(ToQRect(bounds), port->background().color().isValid() ? port->background() : QBrush(Qt::white));
        }
        ThrowIfOSErr_(importer.Draw());
    });
}

#pragma once

#include "CMedia.h"
#include "GraphicsImporter.h"
#include "ImageDescription.h"

#include <optional>

class UserData;

// A still image drawn through a graphics importer. The kinds below differ only
// in where the importer's data comes from.
class CQTImageBaseMedia : public CMedia {
public:
    ~CQTImageBaseMedia() override;

    SInt32 GetKind() override { return kMediaKindStill; }
    SInt16 GetKindResourceID() override { return kMediaKindStillResID; }
    OSStatus SetSourceRect(const Rect* r) override;
    OSStatus GetSourceRect(Rect* r) override;
    OSStatus GetNaturalBounds(Rect* r) override;
    OSStatus SetBoundsRect(const Rect* r) override;
    OSStatus GetBoundsRect(Rect* r) override;
    OSStatus SetGraphicsMode(SInt32 mode, const QColor* opColor) override;
    OSStatus GetGraphicsMode(SInt32* mode, QColor* opColor) override;
    OSStatus SetQuality(CodecQ quality) override;
    OSStatus GetQuality(CodecQ* quality) override;
    OSStatus SetColorTable(const QList<QRgb>* table) override;
    OSStatus GetColorTable(QList<QRgb>* table) override;
    const QByteArray* GetColorProfile() override;
    OSStatus SetGWorld(CGrafPtr port) override;
    OSStatus GetGWorld(CGrafPtr* port) override;
    OSStatus SetMatrix(const MatrixRecord* m) override;
    OSStatus GetMatrix(MatrixRecord* m) override;
    SInt16 GetMaxZoom() override;
    OSStatus GetAsPicture(Picture* out) override;
    OSStatus GetThumbnailPicture(Picture* out) override;
    bool MayLeavePixelsUndrawn() override;
    OSStatus Export(GraphicsExporter* exporter) override;
    UserData* GetMetaData() override;
    std::unique_ptr<UserData> CopyMetaData() override;
    bool CopyIPTCBlock(QByteArray& out) override;
    OSStatus GetDescription(MediaImageInfo* info) override;
    bool Validate() override;
    OSStatus Draw() override;

    GraphicsImporter* GetImporter() const { return mImporter.get(); }

protected:
    CQTImageBaseMedia() = default;
    // The importer's image description, fetched once.
    const ImageDescription& CachedDescription();
    // 'nilP' when there is no importer (yet).
    GraphicsImporter& Importer();

    std::unique_ptr<GraphicsImporter> mImporter;
    std::unique_ptr<UserData> mUserData;
    std::optional<ImageDescription> mDescription;
    // The embedded profile, taken from the importer on first request.
    QByteArray mColorProfile;
    bool mColorProfileLooked = false;
};

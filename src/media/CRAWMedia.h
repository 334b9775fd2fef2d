#pragma once

#include "CQTImageBaseMedia.h"
#include "RawDecoder.h"

#include <QString>
#include <QUrl>

// A camera raw file: identified at construction, shown from the camera's embedded preview
// while that is large enough, otherwise decoded in full with the raw preferences. Decoded
// pixels are handed to the graphics importer in memory; from there on the medium is a
// still image like any other.
class CRAWMedia : public CQTImageBaseMedia {
public:
    enum DecodeMode : SInt32 { kDecodePreview = 1, kDecodeFull = 2, kDecodeIdentify = 3 };

    // Throws fnfErr for a missing file, 'asrt' for a URL without a path, 'nilP' without a
    // name, cantFindHandler for a file the raw decoder does not know. A file it knows but
    // cannot decode opens for its metadata only: every picture operation answers
    // cantFindHandler, so that it never shows as an empty picture.
    explicit CRAWMedia(const QUrl& url);
    ~CRAWMedia() override;

    OSStatus GetNaturalBounds(Rect* r) override;
    OSStatus GetBoundsRect(Rect* r) override;
    OSStatus SetBoundsRect(const Rect* r) override;
    OSStatus DrawMatched() override;
    OSStatus GetAsPicture(Picture* out) override;
    UserData* GetMetaData() override;
    OSStatus GetDescription(MediaImageInfo* info) override;
    OSStatus Export(GraphicsExporter* exporter) override;
    OSStatus GetThumbnailPicture(Picture* out) override;
    bool Validate() override;
    OSStatus Draw() override;
    // Full size: the raw data decoded at its whole size, never the embedded
    // preview nor half size, whatever the raw preferences say (exports).
    void SetFullSizeDecode(bool fullSize) override;

    // Drops the importer and the decoded pixels; never throws.
    void ReleaseDecodedFile();
    // Runs the decoder in `mode`; the status is the decoder's failure, 0 on success.
    OSStatus DecodeRAW(SInt32 mode);

    const RawDecoder::Identity& Identity() const { return mIdentity; }
    bool IsDecoded() const { return mDecoded; }
    // The decoder knows the file but not how to decode its pixels.
    bool IsMetadataOnly() const { return !mIdentity.decodable; }

private:
    void OpenImporterOnImage(const QImage& image);
    void OpenImporterOnRawFile();
    void ClearOrientationWhenTurnedAlready();
    void SetOutputBounds();

    bool mDecoded = false;
    bool mDeepImage = false; // the decode gave 16 bits per sample
    QString mPath;
    QString mFileName;
    RawDecoder::Identity mIdentity;
    Rect mOutputBounds;
    SInt8 mOrientation = -1;
};

// "make model kind" for a raw file the decoder can decode; a null string otherwise.
// Throws 'asrt' for a URL without a path and fnfErr for a missing file.
QString CopyRAWFileDescription(const QUrl& url);

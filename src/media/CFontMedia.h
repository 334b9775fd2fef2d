#pragma once

#include "CMedia.h"

#include <QFont>
#include <QString>
#include <QUrl>

// A font file catalogued like a picture: its family is made available to the program
// (activated for this program alone when the system does not have it already) and drawn
// as a small thumbnail with sample text or as a sample sheet at several sizes and faces.
class CFontMedia : public CMedia {
public:
    // Throws fnfErr for a missing file, 'asrt' for a file that is not a font, resNotFound for
    // a suitcase without usable outlines or 'FOND', -1 when activation does not make the
    // family known.
    explicit CFontMedia(const QUrl& url);
    ~CFontMedia() override;

    SInt32 GetKind() override { return kMediaKindStill; }
    SInt16 GetKindResourceID() override { return kMediaKindStillResID; }
    OSStatus SetDestRect(const Rect* r) override;
    OSStatus GetNaturalBounds(Rect* r) override;
    OSStatus SetBoundsRect(const Rect* r) override;
    OSStatus GetBoundsRect(Rect* r) override;
    OSStatus SetGWorld(CGrafPtr port) override;
    OSStatus GetGWorld(CGrafPtr* port) override;
    OSStatus GetAsPicture(Picture* out) override;
    OSStatus Export(GraphicsExporter* exporter) override;
    OSStatus Draw() override;

    void DrawThumbnail(const Rect* r);
    void DrawSampleSheet(const Rect* r);

    const QString& GetFontName() const { return mFontName; }
    // The family Qt draws the outlines under.
    const QString& GetFontFamily() const { return mFontFamily; }
    bool ActivatedFile() const { return !mActivatedPath.isEmpty(); }

private:
    QFont FontAt(int size, bool bold = false, bool italic = false) const;
    void DrawNameBand(QPainter& port, const Rect& r, int size);

    Rect mBounds;
    Rect mDest;
    QString mFontName;
    QString mFontFamily;
    CGrafPtr mPort = nullptr;
    QString mActivatedPath;
};

// Free functions the index view uses without a medium. Each returns a status; a null URL
// (or one without a local path) gives paramErr.
OSStatus FontFileHasFamily(const QUrl& url, bool* has);
OSStatus ActivateFontFile(const QUrl& url);
OSStatus DeactivateFontFile(const QUrl& url);

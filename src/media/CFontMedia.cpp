#include "CFontMedia.h"

#include "ExceptionCode.h"
#include "FontFile.h"
#include "Preferences.h"
#include "ThemeColors.h"
#include "ThemeText.h"

#include <QPainter>

namespace {

constexpr int kInitialWidth = 2800;
constexpr int kInitialHeight = 2950;
constexpr int kThumbnailMaxWidth = 199; // wider bounds draw the sample sheet
constexpr int kNameBandHeight = 22;
constexpr int kExportWidth = 612;
constexpr int kExportHeight = 792;
constexpr int kNameBandRampEntry = 3; // of the grey appearance ramp

// The three sample texts, read from the preferences once for the program's life.
struct SampleTexts {
    QString thumbnail;
    QString alphabet;
    QString media;
};

const SampleTexts& Samples()
{
    static const SampleTexts texts {
        CopyPrefValue(QStringLiteral("FontThumbnailText")).toString(),
        CopyPrefValue(QStringLiteral("FontAlphabetText")).toString(),
        CopyPrefValue(QStringLiteral("FontMediaText")).toString(),
    };
    return texts;
}

QString PathOf(const QUrl& url)
{
    return url.isLocalFile() ? url.toLocalFile() : QString();
}

// Saves and restores the global printing flag around a picture of the sample sheet.
class StPrintingInProgress {
public:
    StPrintingInProgress()
        : mSaved(gPrintingInProgress)
    {
        gPrintingInProgress = 1;
    }
    ~StPrintingInProgress() { gPrintingInProgress = mSaved; }

private:
    UInt8 mSaved;
};

} // namespace

CFontMedia::CFontMedia(const QUrl& url)
{
    const QString path = PathOf(url);
    ThrowIf_(path.isEmpty(), "font without a file");
    const auto font = FontFile::Open(path);
    mFontName = font->FamilyName();
    mFontFamily = font->OutlineFamily();
    if (!IsFontFamilyKnown(mFontFamily)) {
        ThrowIfOSErr_(::ActivateFontFile(path));
        mActivatedPath = path;
    }
    mBounds = MakeRect(0, 0, kInitialHeight, kInitialWidth);
    mDest = mBounds;
    Samples();
}

CFontMedia::~CFontMedia()
{
    if (!mActivatedPath.isEmpty())
        ::DeactivateFontFile(mActivatedPath);
}

OSStatus CFontMedia::SetDestRect(const Rect* r)
{
    if (!r)
        return paramErr;
    mDest = *r;
    return noErr;
}

OSStatus CFontMedia::GetNaturalBounds(Rect* r)
{
    if (!r)
        return paramErr;
    *r = mDest;
    return CMedia::GetNaturalBounds(r);
}

OSStatus CFontMedia::SetBoundsRect(const Rect* r)
{
    if (!r)
        return paramErr;
    mBounds = *r;
    return noErr;
}

OSStatus CFontMedia::GetBoundsRect(Rect* r)
{
    if (!r)
        return paramErr;
    *r = mBounds;
    return noErr;
}

OSStatus CFontMedia::SetGWorld(CGrafPtr port)
{
    mPort = port;
    return noErr;
}

OSStatus CFontMedia::GetGWorld(CGrafPtr* port)
{
    if (!port)
        return paramErr;
    *port = mPort;
    return noErr;
}

QFont CFontMedia::FontAt(int size, bool bold, bool italic) const
{
    QFont font(mFontFamily);
    font.setPixelSize(size); // a point is a pixel, as on the screen the sizes were made for
    font.setBold(bold);
    font.setItalic(italic);
    return font;
}

OSStatus CFontMedia::Draw()
{
    return CatchCode([&] {
        ThrowIfNil_(mPort);
        mPort->save();
        mPort->setFont(ThemeFont(kThemeSystemFont));
        mPort->setPen(Qt::black);
        mPort->setBackground(Qt::white);
        if (mBounds.Width() > kThumbnailMaxWidth)
            DrawSampleSheet(&mBounds);
        else
            DrawThumbnail(&mBounds);
        mPort->restore();
    });
}

void CFontMedia::DrawNameBand(QPainter& port, const Rect& r, int size)
{
    const Rect band = MakeRect(r.bottom - kNameBandHeight, r.left, r.bottom, r.right);
    port.fillRect(ToQRect(band), GetColorRampEntry(kNameBandRampEntry));
    port.setPen(Qt::black);
    port.setFont(FontAt(size));
    port.drawText(ToQRect(band), Qt::AlignCenter, mFontName);
}

void CFontMedia::DrawThumbnail(const Rect* r)
{
    ThrowIfNil_(mPort);
    ThrowIfNil_(r);
    QPainter& port = *mPort;
    Rect area = *r;
    InsetRect(area, 4, 4);
    area.bottom = ClampToSInt16(area.bottom - 20);
    Rect box = MakeRect(area.top, area.left, area.top + area.Height() / 3 - 4, area.right);
    const SInt16 justification = SInt16(GetPrefNumber(QStringLiteral("FontThumbnailTextJust")));
    for (int size : { 9, 11, 14 }) {
        port.setFont(FontAt(size));
        DrawThemeTextInRect(Samples().thumbnail, box, kThemeCurrentPortFont, justification, kThemeStateActive, true, true, port);
        OffsetRect(box, 0, box.Height() + 4);
    }
    DrawNameBand(port, *r, 14);
}

void CFontMedia::DrawSampleSheet(const Rect* r)
{
    ThrowIfNil_(mPort);
    ThrowIfNil_(r);
    QPainter& port = *mPort;
    if (!gPrintingInProgress)
        port.fillRect(ToQRect(*r), Qt::white);
    port.setPen(Qt::black);
    port.setBackground(Qt::white);
    Rect area = *r;
    InsetRect(area, 4, 4);

    const QFont labelFont = ThemeFont(kThemeSmallSystemFont);
    auto label = [&](const QString& text, const Rect& box, const QFont& font) {
        port.setFont(font);
        port.drawText(ToQRect(box), Qt::AlignLeft | Qt::AlignTop, text);
    };
    auto sample = [&](const QString& text, const Rect& box, const QFont& font) {
        port.setFont(font);
        DrawThemeTextInRect(text, box, kThemeCurrentPortFont, teFlushLeft, kThemeStateActive, true, true, port);
    };

    // One row a size: the label column is 40 wide, the text column right of it.
    struct Row {
        int size;
        int labelHeight;
        int textHeight;
    };
    static constexpr Row kRows[] = { { 9, 17, 17 }, { 10, 18, 18 }, { 12, 20, 20 }, { 14, 22, 22 }, { 18, 26, 26 },
        { 24, 32, 32 }, { 36, 44, 50 } };
    int labelTop = area.top + 6;
    int textTop = area.top + 6;
    for (const Row& row : kRows) {
        label(QStringLiteral("%1 pt").arg(row.size), MakeRect(labelTop, area.left, labelTop + row.labelHeight, area.left + 40),
            labelFont);
        sample(Samples().alphabet, MakeRect(textTop, area.left + 40, textTop + row.textHeight, area.right), FontAt(row.size));
        labelTop += row.labelHeight;
        textTop += row.textHeight;
    }

    // Two blocks of running text, 12 and 14 pt, down to 120 above the bottom.
    const int blocksTop = std::max(labelTop, textTop) + 10;
    const int blocksBottom = area.bottom - 120;
    const int middle = area.left + area.Width() / 2;
    const Rect left = MakeRect(blocksTop, area.left, blocksBottom, middle - 8);
    const Rect right = MakeRect(blocksTop, middle, blocksBottom, area.right);
    label(QStringLiteral("12 pt"), left, labelFont);
    sample(Samples().media, MakeRect(left.top + 16, left.left, left.bottom, left.right), FontAt(12));
    label(QStringLiteral("14 pt"), right, labelFont);
    sample(Samples().media, MakeRect(right.top + 16, right.left, right.bottom, right.right), FontAt(14));

    // Three faces at 12 pt, each line 18 high.
    struct Face {
        const char* label;
        bool bold;
        bool italic;
        int offset;
    };
    static constexpr Face kFaces[] = { { "12 pt italic", false, true, 18 }, { "12 pt bold", true, false, 38 },
        { "12 pt bold italic", true, true, 58 } };
    for (const Face& face : kFaces) {
        const int top = blocksBottom + face.offset;
        const QFont font = FontAt(12, face.bold, face.italic);
        label(QString::fromLatin1(face.label), MakeRect(top, area.left, top + 18, area.left + 96), font);
        sample(Samples().alphabet, MakeRect(top, area.left + 96, top + 18, area.right), font);
    }

    DrawNameBand(port, *r, 16);
}

OSStatus CFontMedia::GetAsPicture(Picture* out)
{
    if (!out)
        return paramErr;
    return CatchCode([&] {
        StPrintingInProgress printing;
        Offscreen world(mDest);
        {
            StOffscreenPort port(world);
            port.Port()->setClipRect(ToQRect(mBounds));
            port.Port()->setPen(Qt::black);
            port.Port()->setBackground(Qt::white);
            CGrafPtr saved = mPort;
            mPort = port.Port();
            DrawSampleSheet(&mDest);
            mPort = saved;
        }
        *out = Picture::FromOffscreen(world);
    });
}

OSStatus CFontMedia::Export(GraphicsExporter* exporter)
{
    mBounds = MakeRect(0, 0, kExportHeight, kExportWidth);
    return CMedia::Export(exporter);
}

OSStatus FontFileHasFamily(const QUrl& url, bool* has)
{
    if (has)
        *has = false;
    const QString path = PathOf(url);
    if (path.isEmpty() || !has)
        return paramErr;
    return CatchCode([&] {
        std::unique_ptr<FontFile> font;
        // A file without a resource map or outlines has no family: false, and no error.
        if (CatchCode([&] { font = FontFile::Open(path); }) != noErr)
            return;
        *has = IsFontFamilyKnown(font->OutlineFamily());
    });
}

OSStatus ActivateFontFile(const QUrl& url)
{
    const QString path = PathOf(url);
    return path.isEmpty() ? OSStatus(paramErr) : ::ActivateFontFile(path);
}

OSStatus DeactivateFontFile(const QUrl& url)
{
    const QString path = PathOf(url);
    return path.isEmpty() ? OSStatus(paramErr) : ::DeactivateFontFile(path);
}

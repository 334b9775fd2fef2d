#include "MediaFactory.h"

#include "CFontMedia.h"
#include "CPICTResourceMedia.h"
#include "CPSMedia.h"
#include "CQTImageMedia.h"
#include "CQTMovieMedia.h"
#include "CRAWMedia.h"
#include "ExceptionCode.h"
#include "ExtendedAttributes.h"
#include "FileRoutines.h"
#include "FileTypes.h"
#include "MacRoman.h"
#include "Preferences.h"
#include "RawDecoder.h"
#include "RegularFile.h"

#include <QApplication>
#include <QFileInfo>

#include <algorithm>
#include <array>

namespace {

constexpr std::array<OSType, 60> kSupportedTypes = { '.SGI', '.fff', '.m4a', '3DMF', '3gpp', '8BPS', 'AIFC', 'AIFF',
    'BMPf', 'CWGR', 'CWPT', 'DICM', 'EPSF', 'FFIL', 'FLC ', 'FLI ', 'FPix', 'GIFf', 'JPEG', 'M1V ', 'MP3 ', 'MPEG',
    'MPG ', 'MPG3', 'MPGa', 'MPGv', 'MPGx', 'Midi', 'MooV', 'Mp3 ', 'PDF ', 'PICS', 'PICT', 'PLAY', 'PNGf', 'PNTG',
    'RAW ', 'SCRN', 'SLD3', 'SWFL', 'Sd2f', 'SwaT', 'TIFF', 'TPIC', 'ULAW', 'VfW ', 'WAVE', 'WMF ', 'XBM ', 'clpp',
    'dvc!', 'icns', 'jp2 ', 'pFLI', 'qdgx', 'qtif', 'sfil', 'sfnt', 'tfil', 'trak' };

constexpr std::array<OSType, 32> kMovieTypes = { '.m4a', '3gpp', 'AIFC', 'AIFF', 'DICM', 'FLC ', 'FLI ', 'GIFf',
    'M1V ', 'MP3 ', 'MPEG', 'MPG ', 'MPG3', 'MPGa', 'MPGv', 'MPGx', 'Midi', 'MooV', 'Mp3 ', 'PICS', 'PLAY', 'SWF ',
    'SWFL', 'Sd2f', 'SwaT', 'ULAW', 'VfW ', 'WAVE', 'WMF ', 'dvc!', 'pFLI', 'trak' };

constexpr std::array<OSType, 14> kSoundTypes = { '.m4a', 'AIFC', 'AIFF', 'MP3 ', 'MPG3', 'Midi', 'Mp3 ', 'PLAY',
    'Sd2f', 'SwaT', 'ULAW', 'WAVE', 'sfil', 'trak' };

constexpr std::array<OSType, 4> kFontTypes = { 'FFIL', 'sfnt', 'tfil', '.otf' };

// The raw extensions, matched in lower case or in upper case only.
constexpr std::array<std::array<char, 3>, 17> kRawExtensions = { { { 'c', 'r', 'w' }, { 'c', 'r', '2' },
    { 'r', 'a', 'w' }, { 'e', 'r', 'f' }, { 'd', 'c', 'r' }, { 'n', 'e', 'f' }, { 'r', 'a', 'f' }, { 'o', 'r', 'f' },
    { 'p', 'e', 'f' }, { 'm', 'r', 'w' }, { 'x', '3', 'f' }, { 's', 'r', 'f' }, { 's', 'r', '2' }, { 'd', 'n', 'g' },
    { 'a', 'r', 'w' }, { '3', 'f', 'r' }, { 'r', 'w', '2' } } };

template <std::size_t N>
bool Contains(const std::array<OSType, N>& set, OSType type)
{
    return std::find(set.begin(), set.end(), type) != set.end();
}


} // namespace

OSType GetFileTypeForExtension(const QString& name)
{
    return FileTypeForName(name);
}

OSType GetFileTypeForPascalName(ConstStr255Param name)
{
    if (!name)
        return kUnknownFileType;
    return GetFileTypeForExtension(PStringToQString(name));
}

bool IsSupportedMediaType(OSType type)
{
    return Contains(kSupportedTypes, type);
}

bool IsSoundMediaType(OSType type)
{
    return Contains(kSoundTypes, type);
}

bool IsFontMediaType(OSType type)
{
    return Contains(kFontTypes, type);
}

bool IsMovieFileType(OSType type)
{
    return Contains(kMovieTypes, type);
}

bool IsRawExtension(const QString& name)
{
    // Every raw extension is a point and three characters: most names are ruled
    // out by their fourth character from the end (this runs on every type read).
    constexpr qsizetype kLength = 4;
    if (name.size() < kLength || name.at(name.size() - kLength) != QLatin1Char('.'))
        return false;
    // Letters all in lower case or all in upper case; digits are either.
    std::array<char, 3> lower {};
    bool hasLower = false, hasUpper = false;
    for (qsizetype i = 0; i < 3; ++i) {
        const char16_t c = name.at(name.size() - 3 + i).unicode();
        if (c >= u'A' && c <= u'Z') {
            hasUpper = true;
            lower[size_t(i)] = char(c - u'A' + 'a');
        } else if ((c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9')) {
            hasLower = hasLower || c >= u'a';
            lower[size_t(i)] = char(c);
        } else {
            return false;
        }
    }
    return !(hasLower && hasUpper)
        && std::find(kRawExtensions.begin(), kRawExtensions.end(), lower) != kRawExtensions.end();
}

namespace {

// The file type, where `regularChecked` says the caller has made sure already
// that a local file is a regular one.
OSType MediaFileTypeOf(const QUrl& url, bool regularChecked)
{
    OSType found = kUnknownFileType;
    try {
        if (!url.isValid() || url.isEmpty())
            return found;
        const QString path = url.isLocalFile() ? url.toLocalFile() : url.path();
        const QString extension = QFileInfo(path).suffix();
        if (extension.isEmpty())
            return found;
        // A pipe or device named like a medium is none: no reader may wait on it.
        if (url.isLocalFile() && !regularChecked && CheckRegularFile(path) == notAFileErr)
            return found;
        if ((extension == QLatin1String("TIF") || extension == QLatin1String("tif")) && url.isLocalFile()) {
            try {
                if (RawDecoder::Identify(path).decodable)
                    return 'RAW ';
            } catch (const ExceptionCode&) {
                // Not a raw file: an ordinary TIFF.
            }
        }
        if (url.isLocalFile()) {
            // Only a type stored with the file counts here; names are looked up below.
            FinderInfo info;
            if (ReadFinderInfo(FileRef(path), info) == noErr && IsSupportedMediaType(info.Type()))
                return info.Type();
        }
        Str255 name;
        if (!QStringToPString(QLatin1Char('.') + extension, name))
            return found;
        found = GetFileTypeForPascalName(name);
        // Files here carry no Finder type: where the extension table knows nothing (TrueType
        // fonts and collections among them), the content names the kind.
        if (found == kUnknownFileType && url.isLocalFile()) {
            const OSType byContent = FileTypeByContent(FileRef(path));
            if (IsSupportedMediaType(byContent))
                found = byContent;
        }
        return found;
    } catch (...) {
        return found;
    }
}

} // namespace

OSType GetMediaFileType(const QUrl& url)
{
    return MediaFileTypeOf(url, false);
}

bool IsMovieMediaType(const QUrl& url)
{
    return IsMovieFileType(GetMediaFileType(url));
}

std::unique_ptr<CMedia> CreateMediaForFile(const QUrl& url)
{
    if (!URLExists(url))
        return nullptr;
    if (url.isLocalFile()) {
        if (const OSStatus status = CheckRegularFile(url.toLocalFile()); status == notAFileErr)
            ThrowOSErr_(status, url.toLocalFile().toStdString() + ": not a regular file");
    }
    std::unique_ptr<CMedia> media;
    const OSType type = MediaFileTypeOf(url, true);
    if (IsMovieFileType(type)) {
        try {
            auto movie = std::make_unique<CQTMovieMedia>(url);
            // A movie without a poster shows the frame at half its length.
            Movie* m = movie->GetMovie();
            if (m->PosterTime() == 0 && IsFileURL(url))
                m->SetPosterTime(m->Duration() / 2);
            media = std::move(movie);
        } catch (const ExceptionCode&) {
            if (type != 'GIFf')
                throw;
            media = std::make_unique<CQTImageMedia>(url); // a GIF of one frame is a still
        }
    } else {
        switch (type) {
        case 'RAW ':
            media = std::make_unique<CRAWMedia>(url);
            break;
        case 'CWGR':
        case 'CWPT':
            media = std::make_unique<CPICTResourceMedia>(url, 1);
            break;
        case 'clpp':
            media = std::make_unique<CPICTResourceMedia>(url, 256);
            break;
        case 'SCRN':
            media = std::make_unique<CPICTResourceMedia>(url, 0);
            break;
        case 'FFIL':
        case 'sfnt':
        case 'tfil':
        case '.otf':
            media = std::make_unique<CFontMedia>(url);
            break;
        case '3DMF':
            media = std::make_unique<CQTMovieMedia>(url);
            break;
        case 'sfil':
            // Not a movie type (no controller), but a sound all the same: the movie
            // medium reads its 'snd ' resources.
            media = std::make_unique<CQTMovieMedia>(url);
            break;
        case 'EPSF':
            media = std::make_unique<CPSMedia>(url);
            break;
        case 'SLD3':
            QApplication::beep();
            return nullptr;
        case 'icns':
            return nullptr;
        default:
            media = std::make_unique<CQTImageMedia>(url);
            break;
        }
    }
    media->SetQuality(CodecQ(GetPrefNumber(QStringLiteral("MediaViewQuality"))));
    return media;
}

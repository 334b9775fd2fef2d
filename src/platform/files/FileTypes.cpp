#include "FileTypes.h"

#include "ExtendedAttributes.h"
#include "FileErrors.h"

#include <QHash>
#include <QMimeDatabase>

namespace {

struct TypeEntry {
    OSType type;
    std::initializer_list<const char*> extensions; // lower case, without the dot
};

// Extensions of three letters are keyed with their dot, four-letter ones by their
// letters; other lengths have no entry.
const TypeEntry kExtensionTable[] = {
    {'JPEG', {"jpg", "jpe", "jpeg"}},
    {'TIFF', {"tif", "tiff"}},
    {'PICT', {"pct", "pic", "pict"}},
    {'PNGf', {"png"}},
    {'GIFf', {"gif"}},
    {'BMPf', {"bmp"}},
    {'8BPS', {"psd"}},
    {'qtif', {"qti", "qif", "qtif"}},
    {'PNTG', {"pnt", "mac", "pntg"}},
    {'.SGI', {"sgi", "rgb"}},
    {'TPIC', {"tga"}},
    {'FPix', {"fpx"}},
    {'jp2 ', {"jp2"}},
    {'PDF ', {"pdf"}},
    {'EPSF', {"eps"}},
    {'icns', {"icns"}},
    {'RAW ', {"crw", "cr2", "raw", "erf", "dcr", "nef", "raf", "orf", "pef", "mrw", "x3f", "srf", "dng", "arw", "3fr",
                 "rw2", "mef"}},
    {'.fff', {"fff"}},
    {'MooV', {"mov", "flv"}},
    {'MPEG', {"mpg", "mp4", "m4v", "mp2", "mpa", "mpv", "mpm", "m1v", "m1a", "m1s", "m15", "m64", "m75", "mpeg"}},
    {'3gpp', {"3gp"}},
    {'VfW ', {"avi"}},
    {'WMF ', {"wmv"}},
    {'dvc!', {"dif"}},
    {'FLC ', {"flc", "fli"}},
    {'SWFL', {"swf"}},
    {'3DMF', {"3dm", "qd3", "3dmf", "qd3d"}},
    {'Mp3 ', {"mp3"}},
    {'.m4a', {"m4a"}},
    {'AIFF', {"aif", "aiff"}},
    {'AIFC', {"aifc"}},
    {'WAVE', {"wav"}},
    {'Sd2f', {"sd2"}},
    {'sfil', {"snd"}},
    {'SwaT', {"swa"}},
    {'Midi', {"mid", "smf", "kar", "mifi"}},
    {'.otf', {"otf"}},
    {'TEXT', {"txt", "sdp"}},
};

const QHash<QString, OSType>& ExtensionMap()
{
    static const QHash<QString, OSType> map = [] {
        QHash<QString, OSType> m;
        for (const TypeEntry& entry : kExtensionTable)
            for (const char* ext : entry.extensions)
                m.insert(QString::fromLatin1(ext), entry.type);
        return m;
    }();
    return map;
}

struct MimeEntry {
    const char* mime;
    OSType type;
};

// Content sniffing and the desktop's application look-up speak MIME types.
const MimeEntry kMimeTable[] = {
    {"image/jpeg", 'JPEG'},
    {"image/tiff", 'TIFF'},
    {"image/x-pict", 'PICT'},
    {"image/png", 'PNGf'},
    {"image/gif", 'GIFf'},
    {"image/bmp", 'BMPf'},
    {"image/vnd.adobe.photoshop", '8BPS'},
    {"image/x-sgi", '.SGI'},
    {"image/x-tga", 'TPIC'},
    {"image/jp2", 'jp2 '},
    {"application/pdf", 'PDF '},
    {"image/x-eps", 'EPSF'},
    {"application/postscript", 'EPSF'},
    {"image/x-icns", 'icns'},
    {"image/x-dcraw", 'RAW '},
    {"video/quicktime", 'MooV'},
    {"video/mpeg", 'MPEG'},
    {"video/mp4", 'MPEG'},
    {"video/3gpp", '3gpp'},
    {"video/x-msvideo", 'VfW '},
    {"video/x-ms-wmv", 'WMF '},
    {"video/x-flic", 'FLC '},
    {"application/x-shockwave-flash", 'SWFL'},
    {"audio/mpeg", 'Mp3 '},
    {"audio/mp4", '.m4a'},
    {"audio/x-aiff", 'AIFF'},
    {"audio/x-aifc", 'AIFC'},
    {"audio/x-wav", 'WAVE'},
    {"audio/vnd.wave", 'WAVE'},
    {"audio/midi", 'Midi'},
    {"font/otf", '.otf'},
    {"font/ttf", 'tfil'},
    {"application/x-font-ttf", 'tfil'},
    {"text/plain", 'TEXT'},
};

} // namespace

OSType FileTypeForName(const QString& name)
{
    if (name.endsWith(QLatin1String(".dfont")))
        return 'sfnt';
    if (name.endsWith(QLatin1String(".ps")))
        return 'EPSF';
    if (name.endsWith(QLatin1String(".qt")))
        return 'MooV';
    if (name.endsWith(QLatin1String(".dv")))
        return 'dvc!';
    qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return kUnknownFileType;
    QString ext = name.mid(dot + 1).toLower();
    if (ext.size() < 3 || ext.size() > 4)
        return kUnknownFileType;
    return ExtensionMap().value(ext, kUnknownFileType);
}

OSType FileTypeForMimeType(const QString& mimeType)
{
    QMimeDatabase db;
    QMimeType mime = db.mimeTypeForName(mimeType);
    QStringList names {mimeType};
    if (mime.isValid())
        names << mime.name() << mime.aliases() << mime.allAncestors();
    for (const QString& candidate : names)
        for (const MimeEntry& entry : kMimeTable)
            if (candidate == QLatin1String(entry.mime))
                return entry.type;
    return kUnknownFileType;
}

OSType FileTypeByContent(const FileRef& file)
{
    if (!file.IsValid())
        return kUnknownFileType;
    QMimeDatabase db;
    QMimeType mime = db.mimeTypeForFile(file.Path(), QMimeDatabase::MatchContent);
    if (!mime.isValid() || mime.isDefault())
        return kUnknownFileType;
    return FileTypeForMimeType(mime.name());
}

QString MimeTypeForFileType(OSType type)
{
    for (const MimeEntry& entry : kMimeTable)
        if (entry.type == type)
            return QString::fromLatin1(entry.mime);
    return QStringLiteral("application/octet-stream");
}

OSStatus GetFileTypeAndCreatorOf(const FileRef& file, OSType& type, OSType& creator)
{
    FileStat st;
    OSStatus err = file.Stat(st);
    if (err != noErr)
        return err;
    if (st.isFolder) {
        type = 'fold';
        creator = 0;
        return noErr;
    }
    FinderInfo info;
    err = ReadFinderInfo(file, info);
    if (err == noErr && (info.Type() != 0 || info.Creator() != 0)) {
        type = info.Type();
        creator = info.Creator();
        return noErr;
    }
    type = FileTypeForName(file.Name());
    if (type == kUnknownFileType && st.isRegularFile)
        type = FileTypeByContent(file);
    creator = 0;
    return noErr;
}

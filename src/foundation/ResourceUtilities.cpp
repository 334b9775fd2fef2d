#include "ResourceUtilities.h"

#include "BundleStrings.h"
#include "ExceptionCode.h"
#include "ExtendedAttributes.h"
#include "FileErrors.h"
#include "FileSystemRoutines.h"
#include "LMenuBar.h"
#include "LStdControls.h"
#include "UResources.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMimeDatabase>
#include <QPainter>
#include <QPlainTextEdit>
#include <QStandardPaths>
#include <QStyle>

#include <algorithm>
#include <cstring>

namespace {

struct SystemIcon {
    OSType code;
    const char* themeName;
    QStyle::StandardPixmap fallback;
    const char* bundleFallback; // drawn by the program where the style has nothing alike
};

constexpr SystemIcon kSystemIcons[] = {
    {'lock', "changes-prevent", QStyle::SP_CustomBase, "lock.png"},
    {'caut', "dialog-warning", QStyle::SP_MessageBoxWarning, "alert-caution.png"},
    {'note', "dialog-information", QStyle::SP_MessageBoxInformation, "alert-note.png"},
    {'stop', "dialog-error", QStyle::SP_MessageBoxCritical, "alert-stop.png"},
    {'faro', "document-open", QStyle::SP_DialogOpenButton, nullptr},
    {'fold', "folder", QStyle::SP_DirIcon, nullptr},
    {'trsh', "user-trash", QStyle::SP_TrashIcon, nullptr},
    {'hdsk', "drive-harddisk", QStyle::SP_DriveHDIcon, nullptr},
    {'srvr', "network-server", QStyle::SP_DriveNetIcon, nullptr},
    {'alis', "emblem-symbolic-link", QStyle::SP_FileLinkIcon, nullptr},
    {'docu', "text-x-generic", QStyle::SP_CustomBase, "document.png"},
};

QString BundleIconPath(const QString& fileName)
{
    QString name = fileName;
    if (name.endsWith(QLatin1String(".icns")))
        name = name.left(name.size() - 5) + QStringLiteral(".png");
    else if (!name.contains(QLatin1Char('.')))
        name += QStringLiteral(".png");
    return QStringLiteral(":/icons/") + name;
}

QIcon LoadBundleIcon(const QString& fileName)
{
    static QHash<QString, QIcon> loaded;
    const QString path = BundleIconPath(fileName);
    auto found = loaded.constFind(path);
    if (found != loaded.constEnd())
        return *found;
    // With the picture drawn at twice the size, for dense screens.
    const QIcon icon = UResources::ReadIcon(path);
    loaded.insert(path, icon);
    return icon;
}

OSStatus PlotIcon(QPainter& painter, const QIcon& icon, const QRect& rect, QIcon::Mode transform,
    Qt::Alignment alignment)
{
    icon.paint(&painter, rect, alignment, transform);
    return noErr;
}

// A resource type as the files name it: its four characters, trailing blanks left out.
QString ResourceTypeName(ResType type)
{
    const char code[5] = {char(type >> 24), char(type >> 16), char(type >> 8), char(type), 0};
    return QString::fromLatin1(code).trimmed();
}

// The names of a type's resources: resources/names/<TYPE>.json.
QJsonObject ResourceNames(ResType type)
{
    QFile file(QStringLiteral(":/names/%1.json").arg(ResourceTypeName(type)));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

// Equal texts when accents are left out; letter case counts.
bool EqualIgnoringAccents(const QString& a, const QString& b)
{
    auto base = [](const QString& text) {
        QString letters;
        for (const QChar c : text.normalized(QString::NormalizationForm_D)) {
            if (c.category() != QChar::Mark_NonSpacing)
                letters += c;
        }
        return letters;
    };
    return base(a) == base(b);
}

UInt32 gRandomSeed = 1;

} // namespace

// Icons.

QIcon GetSystemIcon(OSType iconType)
{
    for (const SystemIcon& entry : kSystemIcons) {
        if (entry.code != iconType)
            continue;
        QIcon icon = QIcon::fromTheme(QLatin1String(entry.themeName));
        if (icon.isNull() && entry.bundleFallback)
            icon = LoadBundleIcon(QLatin1String(entry.bundleFallback));
        if (icon.isNull() && entry.fallback != QStyle::SP_CustomBase && QApplication::style())
            icon = QApplication::style()->standardIcon(entry.fallback);
        return icon;
    }
    return QIcon();
}

QIcon GetIconForMimeType(const QString& mimeTypeName)
{
    const QMimeType mime = QMimeDatabase().mimeTypeForName(mimeTypeName);
    if (!mime.isValid())
        return QIcon();
    const QIcon icon = QIcon::fromTheme(mime.iconName());
    return icon.isNull() ? QIcon::fromTheme(mime.genericIconName()) : icon;
}

QIcon GetFileIcon(const FileRef& file, bool useCustomIcon)
{
    if (useCustomIcon) {
        QByteArray png;
        QPixmap custom;
        if (ReadFileResource(file, 'icns', kCustomIconResourceID, png) == noErr && custom.loadFromData(png))
            return QIcon(custom);
    }
    if (QFileInfo(file.Path()).suffix().isEmpty())
        return QIcon();
    const QMimeType mime = QMimeDatabase().mimeTypeForFile(file.Path(), QMimeDatabase::MatchExtension);
    const QIcon icon = GetIconForMimeType(mime.name());
    return icon.isNull() ? GetSystemIcon('docu') : icon;
}

QIcon MakeIconFamily(const QImage& picture)
{
    QIcon family;
    if (picture.isNull())
        return family;
    for (int side : {16, 32, 48, 128}) {
        for (int scale : {1, 2}) {
            QImage sized = picture.scaled(side * scale, side * scale, Qt::KeepAspectRatio, Qt::SmoothTransformation);
            sized.setDevicePixelRatio(scale);
            family.addPixmap(QPixmap::fromImage(sized));
        }
    }
    return family;
}

QIcon RegisterBundleIcon(OSType creator, OSType type, const QString& fileName)
{
    static QHash<QPair<OSType, OSType>, QIcon> registered;
    const QIcon icon = LoadBundleIcon(fileName);
    if (!icon.isNull())
        registered.insert({creator, type}, icon);
    return icon;
}

OSStatus PlotSystemIcon(QPainter& painter, OSType iconType, const QRect& rect, QIcon::Mode transform,
    Qt::Alignment alignment)
{
    const QIcon icon = GetSystemIcon(iconType);
    return icon.isNull() ? noSuchIconErr : PlotIcon(painter, icon, rect, transform, alignment);
}

OSStatus PlotBundleIcon(QPainter& painter, const QString& fileName, const QRect& rect, QIcon::Mode transform,
    Qt::Alignment alignment)
{
    const QIcon icon = LoadBundleIcon(fileName);
    return icon.isNull() ? fnfErr : PlotIcon(painter, icon, rect, transform, alignment);
}

OSStatus MakeIconDragImage(const QRect& rect, const QIcon& icon, QImage& outImage, QBitmap& outMask)
{
    outImage = QImage();
    outMask = QBitmap();
    if (icon.isNull())
        return paramErr;
    QImage image(rect.size(), QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return memFullErr;
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        icon.paint(&painter, QRect(QPoint(0, 0), rect.size()));
    }
    // The mask is where the icon is; the picture shows it on white.
    outMask = QBitmap::fromImage(image.createAlphaMask());
    QImage onWhite(rect.size(), QImage::Format_ARGB32_Premultiplied);
    onWhite.fill(Qt::white);
    {
        QPainter painter(&onWhite);
        painter.drawImage(0, 0, image);
    }
    outImage = onWhite;
    return noErr;
}

QIcon AcquireMenuCommandIcon(CommandT command)
{
    LMenuBar* bar = LMenuBar::GetCurrentMenuBar();
    LMenu* menu = nullptr;
    SInt16 item = 0;
    if (!bar || !bar->FindMenuItem(command, menu, item) || !menu || !menu->Item(item))
        return QIcon();
    return menu->Item(item)->icon;
}

// Images.

QImage CreateBundlePNGImage(const QString& name)
{
    QFile file(QStringLiteral(":/images/") + name);
    if (name.isEmpty() || !file.open(QIODevice::ReadOnly))
        return QImage();
    return CreateImageWithPNGData(file.readAll());
}

QImage CreateImageWithPNGData(const QByteArray& data)
{
    QImage image;
    if (!image.loadFromData(data, "PNG"))
        return QImage();
    return image;
}

OSStatus GetBundleResourceFSRef(const QString& name, FileRef& out)
{
    const QString source = QStringLiteral(":/") + name;
    if (name.isEmpty() || !QFileInfo(source).isFile())
        return fnfErr;
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + QStringLiteral("/resources");
    const QString target = folder + QLatin1Char('/') + name;
    // Copied once per run: a file left by another version is replaced.
    static QSet<QString> copied;
    if (!copied.contains(name)) {
        QDir().mkpath(QFileInfo(target).path());
        QFile::remove(target);
        if (!QFile::copy(source, target))
            return ioErr;
        QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
        copied.insert(name);
    }
    out = FileRef(target);
    return noErr;
}

bool HasSystemFolder(OSType folderType)
{
    QStandardPaths::StandardLocation location;
    switch (folderType) {
    case 'desk': location = QStandardPaths::DesktopLocation; break;
    case 'docs': location = QStandardPaths::DocumentsLocation; break;
    case 'pdoc': location = QStandardPaths::PicturesLocation; break;
    case 0xB5646F63: location = QStandardPaths::MusicLocation; break; // 'µdoc'
    case 'mdoc': location = QStandardPaths::MoviesLocation; break;
    case 'pubb': location = QStandardPaths::PublicShareLocation; break;
    case 'pref': location = QStandardPaths::GenericConfigLocation; break;
    case 'asup': location = QStandardPaths::GenericDataLocation; break;
    case 'temp': location = QStandardPaths::TempLocation; break;
    case 'font': location = QStandardPaths::FontsLocation; break;
    case 'trsh':
        return QFileInfo(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Trash"))
            .isDir();
    default: return false;
    }
    const QString path = QStandardPaths::writableLocation(location);
    return !path.isEmpty() && QFileInfo(path).isDir();
}

// Named resources.

void GetNamedResourceID(ConstStr255Param name, ResType type, ResIDT* outID)
{
    const QString wanted = PStringToQString(name);
    const QJsonObject names = ResourceNames(type);
    for (auto it = names.begin(); it != names.end(); ++it) {
        bool isNumber = false;
        const int id = it.key().toInt(&isNumber);
        if (isNumber && it.value().toString() == wanted) {
            if (outID)
                *outID = ResIDT(id);
            return;
        }
    }
    ThrowOSErr_(resNotFound, "no resource named " + wanted.toStdString());
}

void GetResourceNameByID(ResIDT id, ResType type, Str255& outName)
{
    const QJsonValue name = ResourceNames(type).value(QString::number(id));
    if (!name.isString())
        ThrowOSErr_(resNotFound, "no name for resource " + std::to_string(id));
    QStringToPString(name.toString(), outName);
}

std::vector<ResIDT> GetNamedResourceIDs(ResType type)
{
    std::vector<ResIDT> ids;
    const QJsonObject names = ResourceNames(type);
    for (auto it = names.begin(); it != names.end(); ++it) {
        bool isNumber = false;
        const int id = it.key().toInt(&isNumber);
        if (isNumber && id >= -32768 && id <= 32767 && it.value().isString() && !it.value().toString().isEmpty())
            ids.push_back(ResIDT(id));
    }
    std::sort(ids.begin(), ids.end());
    return ids;
}

void AppendResMenu(LMenu& menu, ResType type)
{
    const QJsonObject names = ResourceNames(type);
    for (ResIDT id : GetNamedResourceIDs(type))
        menu.InsertCommand(names.value(QString::number(id)).toString(), cmd_Nothing, menu.CountItems());
}

QByteArray GetResourceData(ResType type, ResIDT id)
{
    const QString name = QStringLiteral("%1-%2.bin").arg(ResourceTypeName(type)).arg(id);
    QFile file(UResources::FindFile(QStringLiteral("data"), name));
    if (file.fileName().isEmpty() || !file.open(QIODevice::ReadOnly))
        ThrowOSErr_(resNotFound, "no resource " + name.toStdString());
    return file.readAll();
}

PixPattern GetPixPat(ResIDT id)
{
    const QString base = QStringLiteral("ppat-%1").arg(id);
    const QString path = UResources::FindFile(QStringLiteral("patterns"), base + QStringLiteral(".png"));
    QImage tile = UResources::ReadImage(path);
    if (tile.isNull())
        ThrowOSErr_(resNotFound, "no pattern " + base.toStdString());
    const QString densePath = UResources::FindFile(QStringLiteral("patterns"), base + QStringLiteral("@2x.png"));
    return PixPattern(std::move(tile), UResources::ReadImage(densePath));
}

void GetPopupResourceID(LStdPopupMenu* popup, ResType type, ResIDT* outID)
{
    if (!popup)
        ThrowOSErr_(err_NilPointer, "no popup");
    const QStringList items = popup->GetItems();
    const SInt32 index = popup->GetValue() - 1;
    if (index < 0 || index >= items.size())
        ThrowOSErr_(resNotFound, "the popup shows no item");
    GetNamedResourceID(MakePString(items.at(index)), type, outID);
}

void SelectPopupByResourceID(ResIDT id, ResType type, LStdPopupMenu* popup)
{
    if (!popup)
        return;
    Str255 name;
    if (CatchCode([&] { GetResourceNameByID(id, type, name); }) != noErr)
        return;
    const QString wanted = PStringToQString(name);
    const QStringList items = popup->GetItems();
    const SInt32 last = std::min<SInt32>(SInt32(items.size()), popup->GetMaxValue() > 0 ? popup->GetMaxValue() : SInt32(items.size()));
    for (SInt32 i = 0; i < last; ++i) {
        if (EqualIgnoringAccents(items.at(i), wanted)) {
            popup->SetValue(i + 1);
            return;
        }
    }
}

// Handles and small values.

std::optional<QByteArray> CopyHandle(const QByteArray* handle, bool)
{
    if (!handle)
        return std::nullopt;
    QByteArray copy(handle->constData(), handle->size()); // a copy of its own, not shared
    return copy;
}

void SetRandomSeed(UInt32 seed)
{
    gRandomSeed = seed == 0 ? 1 : seed;
}

SInt16 Random()
{
    // The minimal standard generator the old system used: seed x 16807 mod 2^31 - 1.
    gRandomSeed = UInt32((UInt64(gRandomSeed) * 16807) % 0x7FFFFFFF);
    if (gRandomSeed == 0)
        gRandomSeed = 1;
    return SInt16(gRandomSeed & 0xFFFF);
}

SInt32 RandomInRange(SInt32 low, SInt32 high)
{
    if (low >= high)
        return low;
    return low + SInt32((UInt32(UInt16(Random())) % UInt32(SInt64(high) - low + 1)));
}

void AppendNumberToArray(SInt32 number, QVariantList& array)
{
    array.append(QVariant::fromValue<qint32>(number));
}

QRectF MakeCGRect(float x, float y, float width, float height)
{
    return QRectF(x, y, width, height);
}

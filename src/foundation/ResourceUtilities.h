#pragma once

#include "FileRef.h"
#include "MacTypes.h"
#include "PString.h"
#include "PixPattern.h"

#include <QBitmap>
#include <QIcon>
#include <QImage>
#include <QMimeType>
#include <QString>
#include <QVariantList>

#include <optional>
#include <vector>

class LMenu;
class LStdPopupMenu;
class QPainter;

// Icons, images and named resources of the program and the desktop.
//
// System icons are named by the old system's four-character codes ('lock',
// 'caut', 'fold' ...) and come from the desktop's icon theme, falling back on the
// widget style's standard icons, so a bare session still draws them. Bundle icons
// are the program's own PNG files under resources/icons (a name ending in ".icns"
// stands for the PNG of the same base name); "@2x" files serve dense screens.

// The creator under which the system's own icons are known.
inline constexpr OSType kSystemIconCreator = 'macs';
// The Icon Services code for an icon that does not exist.
inline constexpr OSStatus noSuchIconErr = -2582;

// The system icon of the code; null for a code without one.
QIcon GetSystemIcon(OSType iconType);

// The desktop's icon for files of the MIME type (its own, else its generic one);
// null when the icon theme has neither.
QIcon GetIconForMimeType(const QString& mimeTypeName);

// The icon a file manager shows for the file: with `useCustomIcon` the file's own
// custom icon when it has one; else the icon of its kind by extension, the plain
// document icon when the theme has none. Null for a name without an extension.
QIcon GetFileIcon(const FileRef& file, bool useCustomIcon);

// An icon family made from a picture: the picture scaled to each of the sizes
// 16, 32, 48 and 128, and at twice those for dense screens.
QIcon MakeIconFamily(const QImage& picture);

// The bundle icon of the file, registered (kept for the run) under the creator and
// type; null when the program has no such icon.
QIcon RegisterBundleIcon(OSType creator, OSType type, const QString& fileName);

// Draws the icon into the rectangle with the alignment, selected-looking for
// QIcon::Selected. noSuchIconErr for an unknown code, fnfErr for a missing file.
OSStatus PlotSystemIcon(QPainter& painter, OSType iconType, const QRect& rect, QIcon::Mode transform,
    Qt::Alignment alignment);
OSStatus PlotBundleIcon(QPainter& painter, const QString& fileName, const QRect& rect, QIcon::Mode transform,
    Qt::Alignment alignment);

// An icon as a drag image the size of the rectangle: drawn on white, with the
// mask of its opaque pixels. paramErr for a null icon, memFullErr when no image
// can be made; on failure the outputs are null.
OSStatus MakeIconDragImage(const QRect& rect, const QIcon& icon, QImage& outImage, QBitmap& outMask);

// The icon of the menu item that carries the command; null when none does.
QIcon AcquireMenuCommandIcon(CommandT command);

// A PNG image of the program's resources (resources/images); null on any failure.
QImage CreateBundlePNGImage(const QString& name);
// A PNG image from its bytes; null when they are no PNG picture.
QImage CreateImageWithPNGData(const QByteArray& data);

// A resource file of the program as a file on disk (copied out of the program
// into the cache folder once per run); fnfErr for an empty name or a missing file.
OSStatus GetBundleResourceFSRef(const QString& name, FileRef& out);

// Whether the user's folder of the type exists: 'desk' Desktop, 'docs' Documents,
// 'pdoc' Pictures, 0xB5646F63 ('µdoc') Music, 'mdoc' Movies, 'pubb' Public,
// 'trsh' Trash, 'pref' preferences, 'asup' application support, 'temp' temporary
// items, 'font' fonts.
bool HasSystemFolder(OSType folderType);

// Named resources: the names of a type's resources are listed in
// resources/names/<TYPE>.json as { "<ID>": "<name>" }.
// The ID of the named resource; throws resNotFound.
void GetNamedResourceID(ConstStr255Param name, ResType type, ResIDT* outID);
// The name of the resource; throws resNotFound.
void GetResourceNameByID(ResIDT id, ResType type, Str255& outName);
// The IDs of the type's named resources, lowest first.
std::vector<ResIDT> GetNamedResourceIDs(ResType type);
// Appends an item per named resource of the type to the menu, named as the
// resource, in the order of their IDs; resources without a name are left out.
void AppendResMenu(LMenu& menu, ResType type);
// The bytes of a resource kept as plain data (resources/data/<TYPE>-<ID>.bin, as
// 'clut' colour tables are); throws resNotFound.
QByteArray GetResourceData(ResType type, ResIDT id);
// The pixel pattern 'ppat' of the ID: resources/patterns/ppat-<ID>.png with its
// "@2x" tile when there is one; throws resNotFound.
PixPattern GetPixPat(ResIDT id);
// The ID of the resource named by the popup's current item; 'nilP' for no popup.
void GetPopupResourceID(LStdPopupMenu* popup, ResType type, ResIDT* outID);
// Selects the popup's first item named like the resource (case counts, accents
// do not); nothing for no popup, no such resource or no such item.
void SelectPopupByResourceID(ResIDT id, ResType type, LStdPopupMenu* popup);

// A copy of a handle; none for no handle.
std::optional<QByteArray> CopyHandle(const QByteArray* handle, bool preferTemporary);

// The old system's pseudo-random numbers: a 16-bit signed value from a seed the
// program sets at start-up from the date and time.
void SetRandomSeed(UInt32 seed);
SInt16 Random();
// low when low >= high, else low + ((Random() AND 0xFFFF) mod (high - low + 1)).
SInt32 RandomInRange(SInt32 low, SInt32 high);

// Appends a 32-bit number to a list of numbers (lists of field keys).
void AppendNumberToArray(SInt32 number, QVariantList& array);

// The four values of a rectangle in the order x, y, width, height.
QRectF MakeCGRect(float x, float y, float width, float height);

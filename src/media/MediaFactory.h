#pragma once

#include "CMedia.h"
#include "ExceptionCode.h"
#include "MacTypes.h"
#include "PString.h"

#include <QString>
#include <QUrl>
#include <memory>

// File types, the kind sets and the factory that makes the medium of a file.
OSType GetFileTypeForExtension(const QString& name);
OSType GetFileTypeForPascalName(ConstStr255Param name);
bool IsSupportedMediaType(OSType type);
bool IsSoundMediaType(OSType type);
bool IsFontMediaType(OSType type);
bool IsMovieFileType(OSType type); // membership in the movie set
bool IsRawExtension(const QString& name);
OSType GetMediaFileType(const QUrl& url);
bool IsMovieMediaType(const QUrl& url);

// The medium of a file, owned by the caller; null for a missing file, icon files
// and slide files. Constructor failures are thrown.
std::unique_ptr<CMedia> CreateMediaForFile(const QUrl& url);

// Opens an item's medium for the length of a scope. `Item` is the catalogue's
// index item (anything with CreateMedia() giving a CMedia pointer it hands over).
template <typename Item>
class StItemMedia {
public:
    explicit StItemMedia(Item* item)
    {
        if (item)
            mMedia.reset(item->CreateMedia());
        if (!mMedia)
            ThrowOSErr_(err_NilPointer, "item without a medium");
    }
    StItemMedia(const StItemMedia&) = delete;
    StItemMedia& operator=(const StItemMedia&) = delete;

    CMedia* GetMedia() const { return mMedia.get(); }

private:
    std::unique_ptr<CMedia> mMedia;
};

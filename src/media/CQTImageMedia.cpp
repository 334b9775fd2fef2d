#include "CQTImageMedia.h"

#include "ExceptionCode.h"
#include "FileTypes.h"

#include <QFileInfo>

CQTImageMedia::CQTImageMedia(const QUrl& url)
{
    if (!url.isLocalFile())
        ThrowOSErr_(err_NilPointer, "still image URL is not a local file");
    const QString path = QFileInfo(url.toLocalFile()).absoluteFilePath();
    ThrowIfOSErr_(GraphicsImporter::OpenFile(path, FileTypeForName(path), mImporter));
}

#include "CPSMedia.h"

#include "ExceptionCode.h"
#include "PostScriptConverter.h"

#include <QFileInfo>

CPSMedia::CPSMedia(const QUrl& url)
{
    if (!url.isLocalFile())
        ThrowOSErr_(err_NilPointer, "EPS URL is not a local file");
    const QString path = QFileInfo(url.toLocalFile()).absoluteFilePath();
    ThrowIfOSErr_(ConvertPostScriptToPDF(path, mPDFData));
    ThrowIfOSErr_(GraphicsImporter::OpenData(mPDFData, 'PDF ', mImporter));
}

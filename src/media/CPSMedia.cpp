#include "CPSMedia.h"

#include "ErrorCodes.h"
#include "ExceptionCode.h"
#include "PostScriptConverter.h"

#include <QFileInfo>

CPSMedia::CPSMedia(const QUrl& url)
{
    if (!url.isLocalFile())
        ThrowOSErr_(err_NilPointer, "EPS URL is not a local file");
    const QString path = QFileInfo(url.toLocalFile()).absoluteFilePath();
    const OSStatus converted = ConvertPostScriptToPDF(path, mPDFData);
    // Without a PostScript interpreter here EPS documents cannot be shown at all:
    // the message says so rather than a generic missing-handler code.
    if (converted == cantFindHandler)
        ThrowOSErr_(kMsgEPSNotAvailable, "EPS documents need Ghostscript (gs), which is not installed");
    ThrowIfOSErr_(converted);
    ThrowIfOSErr_(GraphicsImporter::OpenData(mPDFData, 'PDF ', mImporter));
}

#include "CPICTResourceMedia.h"

#include "ExceptionCode.h"
#include "ExtendedAttributes.h"
#include "PictReader.h"

#include <QFile>

CPICTResourceMedia::CPICTResourceMedia(const QUrl& url, SInt16 resourceID)
{
    FileRef file = FileRef::FromUrl(url);
    if (!file.IsValid() || !file.Exists())
        ThrowOSErr_(err_AssertFailed, "PICT resource of a file that is not there");
    QByteArray picture;
    OSStatus status = ReadFileResource(file, 'PICT', resourceID, picture);
    if (status != noErr) {
        // Files copied from elsewhere lose their resources; a file that is itself a picture still shows.
        QFile data(file.Path());
        QByteArray bytes;
        if (data.open(QIODevice::ReadOnly))
            bytes = data.read(64 * 1024 * 1024);
        const qsizetype start = FindPictStart(bytes);
        if (start < 0)
            ThrowOSErr_(status, "no 'PICT' resource " + std::to_string(resourceID));
        picture = bytes.mid(start);
    }
    mPictureData = QByteArray(512, '\0') + picture;
    ThrowIfOSErr_(GraphicsImporter::OpenData(mPictureData, 'PICT', mImporter));
}

OSStatus CPICTResourceMedia::GetDescription(MediaImageInfo* info)
{
    OSStatus status = CQTImageBaseMedia::GetDescription(info);
    if (status == noErr && info->dataSize == 0)
        info->dataSize = SInt32(mPictureData.size());
    return status;
}

// The item's operations on its media file beyond the catalogue record: the
// caption written back into the file.
#include "CIndexItem.h"

#include "CANPAInfo.h"
#include "CItemError.h"
#include "ExceptionCode.h"
#include "ExtendedAttributes.h"
#include "FileRoutines.h"
#include "IPTCFileWriter.h"
#include "MediaFactory.h"

namespace {

// The caption resource beside the data of files that carry no IPTC of their own.
constexpr ResType kCaptionResourceType = 'ANPA';
constexpr SInt16 kCaptionResourceID = 10000;

} // namespace

OSStatus CIndexItem::WriteCaptionToMediaFile()
{
    const OSStatus status = CatchCode([&] {
        ThrowIf_(IsFontMediaType(GetFileTypeCode()), "fonts carry no caption");
        CANPAInfo* caption = GetCaptionInfo();
        if (!caption)
            ThrowOSErr_(err_NilPointer, "item without a caption");
        const QUrl url = GetURL();
        if (url.isEmpty())
            ThrowOSErr_(err_NilPointer, "item without a URL");
        FileRef file;
        ThrowIfNot_(GetFSSpecFromURL(url, file) == noErr, "URL without a file");

        // Files that hold IPTC data of their own get the caption there, with the
        // urgency as the digit the standard asks for; the old caption resource goes.
        if (CanWriteIPTCIntoFileType(GetMediaFileType(url))
            && WriteCaptionIntoImageFile(file.Path(), caption->GetDataHandle(EUrgencyForm::AsciiDigit)) == noErr) {
            ThrowIfOSErr_(RemoveFileResource(file, kCaptionResourceType, kCaptionResourceID));
            return;
        }
        ThrowIfOSErr_(WriteFileResource(file, kCaptionResourceType, kCaptionResourceID, caption->GetDataHandle()));
    });
    if (status != noErr)
        SetError(std::make_unique<CItemError>(status, QString(), QStringLiteral("600:60")));
    return status;
}

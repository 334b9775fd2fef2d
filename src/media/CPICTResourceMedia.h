#pragma once

#include "CQTImageBaseMedia.h"

#include <QUrl>

// A picture kept as a 'PICT' resource of a file (the resource store
// user.orvex.rsrc.PICT.ID). A file without that resource whose own data is a
// picture is read as that picture.
class CPICTResourceMedia : public CQTImageBaseMedia {
public:
    CPICTResourceMedia(const QUrl& url, SInt16 resourceID);

    OSStatus GetDescription(MediaImageInfo* info) override;

private:
    QByteArray mPictureData; // 512-byte header, then the picture
};

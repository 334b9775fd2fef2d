#pragma once

#include "CQTImageBaseMedia.h"

#include <QUrl>

// The default still kind: the importer opens the file itself.
class CQTImageMedia : public CQTImageBaseMedia {
public:
    // Throws 'nilP' for a URL that is not a local file, fnfErr for a missing file,
    // cantFindHandler for a format no importer reads, codecBadDataErr for broken data.
    explicit CQTImageMedia(const QUrl& url);
};

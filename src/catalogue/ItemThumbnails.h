#pragma once

#include "CIndexItem.h"
#include "FileRef.h"
#include "MacTypes.h"
#include "Offscreen.h" // CIndexItem.h needs it whole

#include <vector>

// Makes index items' thumbnails from their media and answers the recreate
// test. One is installed for the program's items at start-up.
class CItemThumbnails : public ThumbnailServices {
public:
    // Throws the item's own error code when it has one, else the failure's.
    // Yields; 'nilP' when the item was deleted meanwhile.
    void CreateThumbnail(CIndexItem& item, bool applyToMediaFile) override;
    // False once the thumbnail (or the URL) was looked for, and for icon and
    // sound files; else true when the picture cannot be had, is smaller than
    // "DefaultThumbnailSize" with "RecreateThumbnailWhenDifferent" on, or is
    // a font's of another size.
    bool ShouldRecreateThumbnail(CIndexItem& item) override;

    // Makes the items' thumbnails the program's own.
    static void Install();
};

// Makes new thumbnails for many items, as CreateThumbnail does for one: the
// media only the GUI thread may draw are drawn here at thumbnail size; the
// still images are decoded, and every thumbnail sharpened and compressed, on
// the worker pool while the calling task yields. The pictures are then set on
// the items in order. Returns each item's error (noErr, or what
// CreateThumbnail would have thrown); icon and sound files get noErr and no
// thumbnail.
// Yields. Other tasks run meanwhile and may delete some of the items: those
// are left alone and get 'nilP'; the caller must not touch them afterwards
// (hold them by TLivePtr).
std::vector<ExceptionCode> CreateThumbnailsWithReasons(const std::vector<CIndexItem*>& items, bool applyToMediaFile);
// The same, codes only.
std::vector<OSStatus> CreateThumbnails(const std::vector<CIndexItem*>& items, bool applyToMediaFile);

// Reads the pictures of the items whose thumbnails are only in their packages'
// thumbnail files, on the worker pool while the caller yields, and sets them on
// the items. Yields: an item deleted meanwhile is left alone. A file that
// cannot be read is left for GetThumbnail to report.
void ReadThumbnailFiles(const std::vector<CIndexItem*>& items);

// Gives a file a Finder preview made from the file itself, at thumbnail size.
OSStatus AddFilePreviewFromFile(const FileRef& file);

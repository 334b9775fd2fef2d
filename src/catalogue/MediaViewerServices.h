#pragma once

#include "MacTypes.h"

#include <memory>

class CIndexItem;
class CMedia;
class IndexViewServices;

// What the catalogue asks of the media viewer, which lives in a higher layer and
// installs itself at start-up. Without it, items cannot be opened or printed in a
// media window ('nilP').
class MediaViewerServices {
public:
    virtual ~MediaViewerServices() = default;
    // Opens or brings forward the view's media window showing the item at the
    // 1-based index; 'asrt' for an index outside the view's list. The window takes
    // the item's opened medium.
    virtual void OpenMediaWindowAtIndex(SInt32 index, IndexViewServices* view, bool windowed,
        std::unique_ptr<CMedia> media)
        = 0;
    // The same for an item of the view, wherever it stands.
    virtual void OpenMediaWindowForItem(CIndexItem& item, IndexViewServices* view, bool windowed,
        std::unique_ptr<CMedia> media)
        = 0;
    // Opens a window for the item without showing it, has its media view print
    // the item (with the print dialog when asked) and closes it again; 'nilP' when
    // no window or media view can be made.
    virtual void PrintItem(CIndexItem& item, IndexViewServices* view, bool withDialog) = 0;
};

void SetMediaViewerServices(MediaViewerServices* viewer);
MediaViewerServices* GetMediaViewerServices();

// Raised while the index view opens its selected item (the space bar, an index
// that opens its first item when it opens): the media window opened so starts
// its slide show at once.
inline bool& OpeningSelectedItemFlag()
{
    static bool opening = false;
    return opening;
}
class StOpeningSelectedItem {
public:
    StOpeningSelectedItem()
        : mWas(OpeningSelectedItemFlag())
    {
        OpeningSelectedItemFlag() = true;
    }
    ~StOpeningSelectedItem() { OpeningSelectedItemFlag() = mWas; }
    StOpeningSelectedItem(const StOpeningSelectedItem&) = delete;
    StOpeningSelectedItem& operator=(const StOpeningSelectedItem&) = delete;

private:
    bool mWas;
};

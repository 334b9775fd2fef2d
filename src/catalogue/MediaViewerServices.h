#pragma once

#include "MacTypes.h"

#include <memory>

class CIndexItem;
class CMedia;
class IndexViewServices;

// What the catalogue asks of the media viewer to print an item, which lives in a
// higher layer and installs itself at start-up; without it an item cannot be
// printed in a media window ('nilP'). Opening an item is no service: the index
// model tells it (CIndexModel::itemActivated) and the application has the viewer
// listen.
class MediaViewerServices {
public:
    virtual ~MediaViewerServices() = default;
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

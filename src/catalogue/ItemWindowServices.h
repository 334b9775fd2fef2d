#pragma once

#include "MacTypes.h"

#include <QString>
#include <QUrl>

#include <memory>

class CIndexItem;
class CIndexModel;
class LCommander;

// The item info window (layout 911) shows one item; the views implement it on
// their window class. The item owns its window; a window that closes itself
// hands the item kInfoWindowClosing first (CIndexItem::SetInfoWindow).
class ItemInfoWindow {
public:
    virtual ~ItemInfoWindow() = default;
    // The item and the index model it belongs to (null: none; the window then
    // steps through nothing).
    virtual void SetIndexItem(CIndexItem* item, CIndexModel* model) = 0;
    // Shows the window and makes it the front one.
    virtual void BringToFront() = 0;
};
inline constexpr ResIDT kItemInfoWindowLayout = 911;
inline ItemInfoWindow* const kInfoWindowClosing = reinterpret_cast<ItemInfoWindow*>(-1);

// The windows and dialogs an index item needs. The views implement this and
// install it at start-up; without it an item shows no window and asks nothing.
class ItemWindowServices {
public:
    virtual ~ItemWindowServices() = default;

    // A new item info window (layout kItemInfoWindowLayout) under
    // `superCommander`, not yet shown; null when it cannot be made.
    virtual std::unique_ptr<ItemInfoWindow> MakeItemInfoWindow(LCommander* superCommander) = 0;

    // Asks the user where the missing media file `name` is now, starting in
    // `folder`: the file itself, or a folder that holds a file of that name.
    // Empty when the user cancels. A modal dialog: yields.
    virtual QUrl AskForMissingFile(const QString& name, const QUrl& folder) = 0;
};

void SetItemWindowServices(ItemWindowServices* services);
ItemWindowServices* GetItemWindowServices();

#pragma once

#include "LLayoutData.h"
#include "MacTypes.h"

#include <QJsonObject>
#include <QStringList>

class LPane;
class LView;
class LWindow;

// Builds windows and views from layout resources: resources/layouts/<ID>.json,
// compiled in as ":/layouts/<ID>.json", or a file of that name in a folder added
// with AddLayoutFolder (searched first). A layout is one object:
//   { "id": <ID>, "root": <entry> }
// and an entry is
//   { "class": "wind", "id": 1 or "brow", "frame": [left, top, width, height],
//     "bindings": "ltrb", "visible": true, "enabled": true, "descriptor": "...",
//     "userCon": 0, <class fields>, "panes": [entries], "attachments": [entries] }
// Frames are in the superview's image coordinates (a window's in global ones).
class UReanimator {
public:
    static void AddLayoutFolder(const QString& folder);
    static QJsonObject ReadLayout(ResIDT layoutID);

    // Makes the whole tree of a layout and finishes it (FinishCreate).
    static LPane* CreatePaneTree(ResIDT layoutID, LView* superView = nullptr);
    static LWindow* CreateWindowFromLayout(ResIDT layoutID);
};

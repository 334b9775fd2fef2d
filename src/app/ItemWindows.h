#pragma once

#include "ItemWindowServices.h"

// The program's item windows and dialogs until the index views provide their
// own: the info window from layout 911, the locate dialog from Qt.
class CItemWindows : public ItemWindowServices {
public:
    std::unique_ptr<ItemInfoWindow> MakeItemInfoWindow(LCommander* superCommander) override;
    QUrl AskForMissingFile(const QString& name, const QUrl& folder) override;

    // Makes these the program's item windows.
    static void Install();
};

#pragma once

#include "MacTypes.h"

class QMenu;
class QWidget;

// Submenus the index view's and the media window's contextual menus share.

// The actions menu (menu 304): one item per entry of "BatchSettings_6" (commands
// 9500, 9501, ...; a "-" entry is a separator), a separator and
// "MORE_ACTIONS_LABEL" (1061, the batch panel).
QMenu* MakeActionsQMenu(QWidget* parent);
// Appends "ACTIONS_LABEL" (1061) carrying the actions menu.
void AppendActionsItem(QMenu* menu);
// Appends the rating item (3029) with the rating menu (228) when the menu bar
// has that item and the menu exists; false otherwise.
bool AppendRatingItem(QMenu* menu);

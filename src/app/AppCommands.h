#pragma once

#include "LCommander.h"

// The commands the application object carries out or decides the status of.
enum : CommandT {
    cmd_CloseAll = 1015,
    cmd_OpenRecent = 1017, // the File menu item that carries the recent items
    cmd_OpenSampleIndex = 1022,
    cmd_AddFiles = 1023,
    cmd_NewPictureLibraryIndex = 1024,
    cmd_ImportFromCamera = 1025,
    cmd_SubmenuItem1030 = 1030, // items that carry submenus of the views
    cmd_SubmenuItem1031 = 1031,
    cmd_MoveToTrash = 1028,
    cmd_ShowTaskWindow = 1032,
    cmd_OrganizeStoredSettings = 1038,
    cmd_OpenHomePage = 1042, // the addresses of string list 608, items 4, 5 and 6
    cmd_OpenSupportPage = 1043,
    cmd_OpenFeedbackPage = 1045,
    cmd_NewActiveFontsIndex = 1075,
    cmd_NewPicturesIndex = 1084,
    cmd_NewMusicIndex = 1085,
    cmd_NewMoviesIndex = 1086,
    cmd_NewDesktopPicturesIndex = 1087,
    cmd_OpenUpdatePage = 1088, // the address in 600:110
    cmd_NewDesktopIndex = 1089,
    cmd_CompactMemory = 8000,
    cmd_PurgeCaches = 8002,
    cmd_DeleteObject = -4002,

    // Script items of the stored-settings menu.
    cmd_FirstScriptItem = -4099,
    cmd_LastScriptItem = -4004,

    // The standard Window menu's own items.
    cmd_MinimizeWindow = 'mini',
    cmd_ZoomWindow = 'zoom',
    cmd_BringAllToFront = 'bfrt',
};

// Menus the application builds or fills.
enum : ResIDT {
    kFileMenuID = 129,
    kEditMenuID = 130,
    kDocumentMenuID = 131,
    kStoredSettingsMenuID = 133,
    kRecentItemsMenuID = 145,
    kWindowMenuID = 987,
    kHelpMenuID = -16490,
};

// The address of an Internet command could not be opened.
inline constexpr SInt32 kMsgOpenAddressFailed = 100026;

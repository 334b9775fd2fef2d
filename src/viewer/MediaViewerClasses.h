#pragma once

// The media viewer's classes under their class IDs: 'ImVi' and 'MeVi' the media
// views, 'MWin' and 'MWiF' the windowed and full-screen media windows, 'MNav' the
// navigator, 'MCfl' the caption floater.
void RegisterMediaViewerClasses();

class CIndexView;

// The items the index view opens (its itemActivated) show in media windows, which
// step through the view's model.
void OpenItemsInMediaWindows(CIndexView& view);

// Makes the media viewer the one the index items print through.
void InstallMediaViewerServices();

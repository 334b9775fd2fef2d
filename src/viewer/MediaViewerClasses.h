#pragma once

// The media viewer's classes under their class IDs: 'ImVi' and 'MeVi' the media
// views, 'MWin' and 'MWiF' the windowed and full-screen media windows, 'MNav' the
// navigator, 'MCfl' the caption floater.
void RegisterMediaViewerClasses();

// Makes the media viewer the one the index items open and print through.
void InstallMediaViewerServices();

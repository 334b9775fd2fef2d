#pragma once

// Puts the application's style behind one that makes the menu bar's and the
// toolbars' overflow icons when they are first drawn: the style reads them from
// files as the bars are built, and reading the first picture from a file loads
// every image plugin, before the first window needs any of them. The style draws
// as before; call once the application object exists, before any window.
void DeferStyleIcons();

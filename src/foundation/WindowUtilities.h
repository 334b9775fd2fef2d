#pragma once

#include "FileRef.h"

#include <QUrl>

class DragReference;
class LWindow;

// The window's modified mark; a null window is ignored.
void SetWindowModifiedState(LWindow* window, bool modified);

// The window's proxy: the file it shows (its path in the title bar; the window
// keeps the program's icon, as desktops show it). With `clearModified` the
// modified mark is cleared first.
OSStatus SetWindowProxyFSRef(LWindow* window, const FileRef& file, bool clearModified);
OSStatus SetWindowProxyType(LWindow* window, OSType creator, OSType type, bool clearModified);
OSStatus SetWindowProxyIconType(LWindow* window, OSType type, bool clearModified);
// A file URL gets its file's proxy, any other URL the network icon; never throws.
OSStatus SetWindowProxyURL(LWindow* window, const QUrl& url, bool clearModified);
void RemoveWindowProxyIcon(LWindow* window);

// The modifier keys of a drag (Alt plays the option key's part, Control the command key's).
bool IsDragCopy(const DragReference& drag);
bool IsDragCommandKey(const DragReference& drag);
bool IsDragInsideSenderApplication(const DragReference& drag);
bool DragHasFlavor(const DragReference& drag, FourCharCode flavor); // the first item; false on any error

#pragma once

#include "MacTypes.h"
#include "PString.h"

#include <QString>

class LString;
class QMenu;
class QWidget;

// Every text the user sees is looked up by key in the bundle's strings table. A
// numeric key is "<list>:<index>"; a key without an entry comes back as itself.

// The key "<listID>:<index>".
QString LocalizedStringKey(SInt16 listID, SInt16 index);

// The text of the key as Mac Roman into `outString`. When the lookup fails or
// the text does not fit 255 Mac Roman bytes, `outString` is left as it was.
void GetLocalizedString(Str255& outString, SInt16 listID, SInt16 index);

// The text of the key "<listID>:<index>".
QString CopyLocalizedCFString(SInt16 listID, SInt16 index);

// The text of a symbolic key ("EXPORT_MEDIA_LABEL") or of a resource text.
QString CopyLocalizedString(const QString& key);

// The framework string's indexed loader for index > 0: the localized text of
// "<listID>:<index>", fetched as a Str255 and cut to the string's capacity.
void GetIndexedString(LString& outString, SInt16 listID, SInt16 index);

// Sends every indexed load of the framework strings through GetIndexedString.
// Called once at start-up.
void InstallIndexedStringLoader();

// Takes the control's title as the key and sets the looked-up text as its new
// title (buttons, group boxes, labels, windows). 'nilP' for a null control or a
// lookup that gives nothing, paramErr for a widget without a title.
OSStatus LocalizeControlTitle(QWidget* control);

// Items 2-6 of a search or batch criteria menu get the texts of "602:24" to
// "602:28". A lookup that gives nothing ends the routine quietly.
void LocalizeCriteriaMenu(QMenu* menu);

#pragma once

#include "FileRef.h"

#include <QString>
#include <QUrl>

// The program's help book: the HTML pages under resources/help, opened in the
// desktop's browser. The pages are copied out of the program into the cache folder
// (a browser cannot read them inside it) once per run.

// The folder that holds the book's pages, copied out when needed; fnfErr when the
// program carries no help pages, ioErr when they cannot be written.
OSStatus RegisterHelpBook(FileRef* outFolder = nullptr);

// The address of a page ("pgs/wr8.html") with an optional anchor; empty when the
// book has no such page.
QUrl HelpPageURL(const QString& page, const QString& anchor = QString());

// Opens the page in the browser; fnfErr for a page the book lacks,
// kMsgNoBrowser when no browser takes it.
OSStatus GotoHelpPage(const QString& page, const QString& anchor = QString());

#pragma once

#include "MacTypes.h"

#include <QByteArray>
#include <QString>

// Turns an EPS file into PDF with Ghostscript (pdfwrite, cropped to the EPS
// bounding box), run as a process with a time-out. The PDF goes through a
// private temporary file (made with mkstemp, mode 0600) that is removed whether
// or not the conversion succeeds. Failures: fnfErr for a missing input,
// cantFindHandler when Ghostscript is not installed, codecErr when it fails or
// times out, codecBadDataErr when its output is not a PDF.
OSStatus ConvertPostScriptToPDF(const QString& epsPath, QByteArray& outPdf, int timeoutMs = 60000);

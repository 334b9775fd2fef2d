#pragma once

#include "MacTypes.h"

#include <QByteArray>
#include <QImage>

// Colour matching through LittleCMS 2. The destination is the display's profile
// when the desktop publishes one (on X11 the root window's _ICC_PROFILE, read on
// first use) or one was set, otherwise sRGB.
void SetDisplayColorProfile(const QByteArray& profile);
QByteArray DisplayColorProfile(); // empty: sRGB

// Converts the pixels of a 32-bit image in place from `sourceProfile` to the
// display profile. A profile LittleCMS cannot open or use gives paramErr and
// leaves the image as it was.
OSStatus MatchImageToDisplay(QImage& image, const QByteArray& sourceProfile);

// True when LittleCMS accepts the bytes as an ICC profile.
bool IsUsableColorProfile(const QByteArray& profile);

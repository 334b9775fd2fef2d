#pragma once

#include "MacTypes.h"

#include <QByteArray>
#include <QImage>

// Colour matching through LittleCMS 2. The destination is the display's profile
// when the desktop publishes one (the _ICC_PROFILE root-window atom, handed in by
// the layer that can read it through SetDisplayColorProfile), otherwise sRGB.
void SetDisplayColorProfile(const QByteArray& profile);
QByteArray DisplayColorProfile(); // empty: sRGB

// Converts the pixels of a 32-bit image in place from `sourceProfile` to the
// display profile. A profile LittleCMS cannot open or use gives paramErr and
// leaves the image as it was.
OSStatus MatchImageToDisplay(QImage& image, const QByteArray& sourceProfile);

// True when LittleCMS accepts the bytes as an ICC profile.
bool IsUsableColorProfile(const QByteArray& profile);

#pragma once

#include "ExceptionCode.h"
#include "Picture.h"

#include <QByteArray>

class QPainter;

// Plays a picture's opcodes into a painter set up in picture coordinates
// (null: only gather the info). Returns noErr, or the code of the first fault;
// what was drawn before the fault stays drawn. With `largestImageSide` above 0,
// a pixel image wider or taller than that is damaged data (codecBadDataErr),
// found before the image is decoded.
OSStatus ReadPict(const QByteArray& data, QPainter* painter, PictInfo& info, int largestImageSide = 0);
// The same, with the reason of the fault.
ExceptionCode ReadPictWithReason(const QByteArray& data, QPainter* painter, PictInfo& info, int largestImageSide = 0);

// Offset of the picture inside file bytes: 0, 512 (after a file header), or -1.
qsizetype FindPictStart(const QByteArray& bytes);

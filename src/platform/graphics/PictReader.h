#pragma once

#include "Picture.h"

#include <QByteArray>

class QPainter;

// Plays a picture's opcodes into a painter set up in picture coordinates
// (null: only gather the info). Returns noErr, or the code of the first fault;
// what was drawn before the fault stays drawn.
OSStatus ReadPict(const QByteArray& data, QPainter* painter, PictInfo& info);

// Offset of the picture inside file bytes: 0, 512 (after a file header), or -1.
qsizetype FindPictStart(const QByteArray& bytes);

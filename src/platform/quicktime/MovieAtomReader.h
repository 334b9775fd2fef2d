#pragma once

#include "GraphicsErrors.h"
#include "MacTypes.h"

#include <QByteArray>
#include <QString>

#include <vector>

// One user-data item as a QuickTime 'udta' atom holds it: its type and its payload.
// Text items of the ©-types use the international-text layout (16-bit length,
// 16-bit language code, the text).
struct MovieUserDataItem {
    OSType type = 0;
    QByteArray data;
    friend bool operator==(const MovieUserDataItem&, const MovieUserDataItem&) = default;
};

// What our own reader takes from a QuickTime or MP4 file's 'moov' atom.
struct MovieHeaderAtoms {
    bool foundMovieHeader = false;
    UInt32 timeScale = 0;
    UInt64 duration = 0;
    UInt32 posterTime = 0;
    std::vector<MovieUserDataItem> userData;
};

// QuickTime's own error numbers where the movie layer needs them (cantFindHandler is in GraphicsErrors.h).
inline constexpr OSStatus couldNotResolveDataRef = -2000;
inline constexpr OSStatus invalidMovie = -2010;
inline constexpr OSStatus invalidDuration = -2014;
inline constexpr OSStatus invalidTime = -2015;

// Reads the movie header and the user data of a QuickTime/MP4 file. Every atom size is
// checked against its parent and the file size before it is used; a hostile size gives
// invalidMovie, a file without a 'moov' atom gives invalidMovie as well.
MovieHeaderAtoms ReadMovieHeaderAtoms(const QString& path);
MovieHeaderAtoms ParseMovieHeaderAtoms(const QByteArray& fileBytes);

// The user data items of one 'udta' atom's contents (the list of child atoms). iTunes-style
// 'meta'/'ilst' entries are mapped to the same ©-types with international-text payloads.
std::vector<MovieUserDataItem> ParseUserDataAtoms(const char* begin, const char* end);

// A ©-type text payload in QuickTime's international-text layout: a Mac Roman entry with
// language 0, and when the text does not fit Mac Roman a second, UTF-8 entry for "und".
QByteArray MakeUserDataTextPayload(const QString& text);
// The text of such a payload (a Unicode entry when there is one, else the first Mac entry),
// or a null string when it is not one.
QString UserDataTextFromPayload(const QByteArray& payload);

// A ©-type payload with only Unicode entries (language codes packed from ISO 639, as current
// writers make them) gains a Mac Roman entry for language 0 in front, the language the
// program's readers ask for; other payloads come back unchanged.
QByteArray WithMacTextEntry(const QByteArray& payload);

// Where libavformat reports a tag, the ©-type it stands for (0 when none does).
OSType UserDataTypeForTagKey(const QByteArray& key);

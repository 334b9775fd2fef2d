#pragma once

#include "Geometry.h"
#include "MacTypes.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariant>

// The application's preferences: typed accessors by key over the application
// preference domain. A getter that finds its key missing (or stored in a form it
// cannot read exactly) stores the zero value, lays the key's default down and
// reads again, so a key always holds a value once it has been read.
//
// Storage forms: booleans as booleans, numbers as 32-bit integers, floats as
// 32-bit reals, points as [v, h] and rectangles as [top, left, bottom, right]
// arrays of 16-bit integers, handles (alias records, print settings) as data,
// anything else as the property-list value itself.

bool GetPrefBoolean(const QString& key);
void SetPrefBoolean(const QString& key, bool value);

SInt32 GetPrefNumber(const QString& key);
void SetPrefNumber(const QString& key, SInt32 value);

float GetPrefFloat(const QString& key);
void SetPrefFloat(const QString& key, float value);

// A copy of the stored value; a missing key gets its default first. Invalid (null)
// when the key has no default. May throw for the two property-list defaults
// ("SearchSettings_6", "BatchSettings_6") when their resource is missing (-192) or
// does not parse ('nilP').
QVariant CopyPrefValue(const QString& key);
// A null (invalid) value removes the key.
void SetPrefValue(const QString& key, const QVariant& value);

Point GetPrefPoint(const QString& key);
void SetPrefPoint(const QString& key, const Point* point);
inline void SetPrefPoint(const QString& key, const Point& point)
{
    SetPrefPoint(key, &point);
}

Rect GetPrefRect(const QString& key);
void SetPrefRect(const QString& key, const Rect* rect);
inline void SetPrefRect(const QString& key, const Rect& rect)
{
    SetPrefRect(key, &rect);
}

// Handles are byte blocks. GetPrefHandle never applies a default: false when the
// key is missing or holds no data. A null handle removes the key.
bool GetPrefHandle(const QString& key, QByteArray& outHandle);
void SetPrefHandle(const QString& key, const QByteArray* handle);
inline void SetPrefHandle(const QString& key, const QByteArray& handle)
{
    SetPrefHandle(key, &handle);
}

// Writes the domain to disk; true on success.
bool SynchronizePrefs();
// The same, answering the write's code (noErr on success).
OSStatus SynchronizePrefsStatus();
// The same write on a thread of its own, returning at once; later writes wait for it.
void SynchronizePrefsSoon();
// Writes the domain at once, for a change a crash must not lose (a stored setting,
// the recent list). A failed write is logged with `what`; the file keeps what it
// held and the next write tries again. Answers the write's code.
OSStatus WritePrefsNow(const char* what);

// Writes the built-in default of `key` with the setter of its type; a key
// without a default is left alone.
void SetPrefDefault(const QString& key);

// The names of every key that has a default (155), in the table's order.
QStringList PrefDefaultKeys();

// Whether this system has the Aqua menu layout; recorded once at start-up. It
// decides the defaults of "IndexFontID", "IndexFontSize" and "DefaultIconSize".
// This system counts as having it.
extern bool gHasAquaMenuLayout;

// Font numbers of the old platform: the system font and the application font.
inline constexpr SInt16 kSystemFontID = 0;
inline constexpr SInt16 kApplicationFontID = 1;

// Sets a boolean preference for the lifetime of the guard and puts the previous
// value back afterwards (the previous value is read with GetPrefBoolean, so a
// missing key first gets its default).
class StTempPrefBoolean {
public:
    StTempPrefBoolean(const QString& key, bool value);
    ~StTempPrefBoolean();

    StTempPrefBoolean(const StTempPrefBoolean&) = delete;
    StTempPrefBoolean& operator=(const StTempPrefBoolean&) = delete;

private:
    bool mSavedValue;
    QString mKey;
};

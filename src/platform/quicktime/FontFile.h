#pragma once

#include "MacTypes.h"
#include "ResourceFork.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <vector>

// A font file as the Font Manager saw one: a TrueType or OpenType file (TrueType or CFF
// outlines), a TrueType collection, or a suitcase whose resource map (in the data fork of a
// .dfont, in an AppleDouble "._" file beside it, or in our resource extended attributes)
// holds 'sfnt' outlines and 'FOND' family records. The outlines go to Qt's application font
// database ("activated for this program alone").
class FontFile {
public:
    // Reads the file; throws fnfErr for a missing file, 'asrt' when it is neither an sfnt
    // font nor a readable resource map, resNotFound when a suitcase has no 'sfnt' outlines
    // (bitmap and PostScript suitcases cannot be activated here), badFormat when FreeType
    // rejects the outlines.
    static std::unique_ptr<FontFile> Open(const QString& path);

    const QString& Path() const { return mPath; }
    // The family: the name of the first 'FOND' resource of a suitcase, else the family the
    // outlines name.
    const QString& FamilyName() const { return mFamilyName; }
    // The family the outlines name, under which Qt draws them once active.
    const QString& OutlineFamily() const { return mOutlineFamily; }
    bool IsSuitcase() const { return mSuitcase; }
    const std::vector<QByteArray>& Outlines() const { return mOutlines; }

private:
    FontFile() = default;
    QString mPath;
    QString mFamilyName;
    QString mOutlineFamily;
    bool mSuitcase = false;
    std::vector<QByteArray> mOutlines;
};

using FontResource = ResourceEntry;

// True when the family is known to the font database (system or application fonts).
bool IsFontFamilyKnown(const QString& family);

// Activation for this program alone. Activating a file twice counts twice; the outlines leave
// the database when the last activation is undone. Both return a status and never throw.
OSStatus ActivateFontFile(const QString& path);
OSStatus DeactivateFontFile(const QString& path);
bool IsFontFileActivated(const QString& path);

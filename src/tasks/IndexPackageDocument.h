#pragma once

#include "CIndexDoc.h"
#include "MacTypes.h"

class CIndexModel;
class CIndexPackage;

// Flags of the index document that the package tasks read (kDocKeepHidden: the
// window stays hidden after opening).
inline constexpr UInt32 kDocClosing = kDocWindowReused; // the document is closing (its window is reused)

// What a save asks to happen once it has ended.
enum : SInt32 {
    kSaveActionNone = 0,
    kSaveActionStopTasks = 1,
    kSaveActionQuit = 2,
    kSaveActionClose = 3,
};

// The index document as the package read and write tasks see it: the document
// lives in the catalogue and is handed to the tasks through this, with its
// package and its index model.
class IndexPackageDocument {
public:
    virtual ~IndexPackageDocument() = default;

    virtual CIndexPackage* GetPackage() const = 0;
    virtual CIndexModel* GetModel() const = 0;
    virtual bool TestFlags(UInt32 mask) const = 0;

    // Reads and applies "settings.xml"; answers the number of items it expects.
    virtual SInt32 ReadSettings(bool closing) = 0;
    // Writes "settings.xml", keeping keys already in the file.
    virtual void WriteSettings(bool closing) = 0;
    virtual void ShowWindow() = 0;
    // An index whose password the keychain keeps: the password is checked against
    // the keychain's, or asked of the user. False or a throw refuses the index.
    virtual bool VerifyPassword() = 0;

    virtual SInt32 GetPendingSaveAction() const = 0;
    virtual void SetPendingSaveAction(SInt32 action) = 0;
    // Runs an after-save action from the event loop, once the task that asked is gone.
    virtual void RunPendingSaveAction(SInt32 action) = 0;
    // An index that could not be opened goes away (from the event loop).
    virtual void DiscardDocument() = 0;
    // The index was written whole into its package.
    virtual void IndexSaved() {}
    // The package was read and its model let go: what waited for the index may run.
    virtual void ReadingEnded() {}
};

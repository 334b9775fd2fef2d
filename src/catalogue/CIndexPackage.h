#pragma once

#include "FileRef.h"
#include "FolderChecks.h"
#include "MacTypes.h"

#include <QUrl>

#include <memory>

class QLockFile;
class CIndexModel;

// Beside "settings.xml", the damaged file that the index opened without.
inline constexpr char kDamagedSettingsSuffix[] = ".damaged";

// Messages about a package as a whole.
inline constexpr SInt32 kMsgSettingsDamaged = 100091; // settings.xml set aside, standard settings used
inline constexpr SInt32 kMsgIndexInUse = 100092;      // another program has the package open
inline constexpr SInt32 kMsgTicketWaits = 100093;     // an upload ticket waits for a saved index

// The lock file in a package that an open index holds.
inline constexpr char kPackageLockName[] = ".index.lock";

// One index package on disk: a folder "*.idxp" holding "index.db", "settings.xml",
// "thumbs/" and "media/". It knows where those parts are, whether items are copied
// into "media/" when the index is written, and hands out thumbnail numbers.
class CIndexPackage {
public:
    // Makes the package folder with empty "thumbs/" and "media/" when the folder
    // does not exist; an existing package is never touched. 'nilP' for a URL that
    // is empty or no local folder URL, 'asrt' when a folder cannot be created, the
    // bundle bit's code when it cannot be set.
    CIndexPackage(const QUrl& packageURL, CIndexModel* model);
    ~CIndexPackage();
    CIndexPackage(const CIndexPackage&) = delete;
    CIndexPackage& operator=(const CIndexPackage&) = delete;

    const QUrl& GetPackageURL() const { return mPackageURL; } // ends in "/"
    const QUrl& GetIndexDbURL() const { return mIndexDbURL; }
    // The same file, made once: the items' aliases are relative to it.
    const FileRef& GetIndexDbFile() const { return mIndexDbFile; }
    const QUrl& GetThumbsURL() const { return mThumbsURL; }
    const QUrl& GetMediaURL() const { return mMediaURL; }
    const QUrl& GetSettingsURL() const { return mSettingsURL; }

    SInt32 GetLastThumbID() const { return mLastThumbID; }
    void SetLastThumbID(SInt32 id) { mLastThumbID = id; }
    // A number no item of the package uses: settings.xml may be older than
    // index.db, so a number whose file is in "thumbs/" is passed over.
    SInt32 NextThumbID();
    // Numbers up to `used` are taken (the highest an item of index.db holds).
    void ReserveThumbIDsUpTo(SInt32 used);

    // Locks the package for this program while the object lives: kMsgIndexInUse
    // when another program (here or on another computer) holds it. Where no lock
    // can be made (a read-only disk) the package is used unlocked.
    OSStatus Lock();

    // Removes the temporary files a save that was cut off left in the package
    // and its "thumbs/" (the names our safe writes give them); answers how many.
    int RemoveLeftoverTemporaries() const;

    bool IsStoreMediaFile() const { return mStoreMedia; }
    bool IsRemoveMediaFile() const { return mRemoveMedia; }
    // Set by the index write task from the view's options before items write.
    void SetStoreMediaFile(bool store) { mStoreMedia = store; }
    void SetRemoveMediaFile(bool remove) { mRemoveMedia = remove; }

    // The folders of the items' files as the saves last found them.
    FolderChecks& GetFolderChecks() { return mFolderChecks; }

    // Queues a file on the index model to be deleted after the index has been
    // written; nothing without a URL or a model.
    void AddFileToRemove(const QUrl& file);

    // The URL of a file inside "media/" for a stored name. A stored name must be
    // one plain file name: empty, ".", "..", a name with "/" or NUL, or an
    // absolute path gives an empty URL, so media are only ever read from and
    // written to inside "media/".
    QUrl StoredMediaURL(const QString& storedName) const;

private:
    QUrl mPackageURL;
    QUrl mIndexDbURL;
    FileRef mIndexDbFile;
    QUrl mThumbsURL;
    QUrl mMediaURL;
    QUrl mSettingsURL;
    SInt32 mLastThumbID = 1;
    bool mStoreMedia = false;
    bool mRemoveMedia = false;
    FolderChecks mFolderChecks;
    CIndexModel* mModel = nullptr;
    std::unique_ptr<QLockFile> mLock;
};

#pragma once

#include "MacTypes.h"

#include <QUrl>

class IndexViewServices;

// One index package on disk: a folder "*.idxp" holding "index.db", "settings.xml",
// "thumbs/" and "media/". It knows where those parts are, whether items are copied
// into "media/" when the index is written, and hands out thumbnail numbers.
class CIndexPackage {
public:
    // Makes the package folder with empty "thumbs/" and "media/" when the folder
    // does not exist; an existing package is never touched. 'nilP' for a URL that
    // is empty or no local folder URL, 'asrt' when a folder cannot be created, the
    // bundle bit's code when it cannot be set.
    CIndexPackage(const QUrl& packageURL, IndexViewServices* owner);
    CIndexPackage(const CIndexPackage&) = delete;
    CIndexPackage& operator=(const CIndexPackage&) = delete;

    const QUrl& GetPackageURL() const { return mPackageURL; } // ends in "/"
    const QUrl& GetIndexDbURL() const { return mIndexDbURL; }
    const QUrl& GetThumbsURL() const { return mThumbsURL; }
    const QUrl& GetMediaURL() const { return mMediaURL; }
    const QUrl& GetSettingsURL() const { return mSettingsURL; }

    SInt32 GetLastThumbID() const { return mLastThumbID; }
    void SetLastThumbID(SInt32 id) { mLastThumbID = id; }
    SInt32 NextThumbID() { return mLastThumbID++; }

    bool IsStoreMediaFile() const { return mStoreMedia; }
    bool IsRemoveMediaFile() const { return mRemoveMedia; }
    // Set by the index write task from the view's options before items write.
    void SetStoreMediaFile(bool store) { mStoreMedia = store; }
    void SetRemoveMediaFile(bool remove) { mRemoveMedia = remove; }

    IndexViewServices* GetOwner() const { return mOwner; }

    // Queues a file to be deleted after the index has been written; nothing
    // without a URL or an owner view.
    void AddFileToRemove(const QUrl& file);

    // The URL of a file inside "media/" for a stored name. A stored name must be
    // one plain file name: empty, ".", "..", a name with "/" or NUL, or an
    // absolute path gives an empty URL, so media are only ever read from and
    // written to inside "media/".
    QUrl StoredMediaURL(const QString& storedName) const;

private:
    QUrl mPackageURL;
    QUrl mIndexDbURL;
    QUrl mThumbsURL;
    QUrl mMediaURL;
    QUrl mSettingsURL;
    SInt32 mLastThumbID = 1;
    bool mStoreMedia = false;
    bool mRemoveMedia = false;
    IndexViewServices* mOwner = nullptr;
};

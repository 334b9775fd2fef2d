#pragma once

#include "CInternetTask.h"
#include "Liveness.h"

#include <QString>

class CIndexItem;

// The download of one remote file into a local file, tied to an index item.
// The destination is the item's own file (when its alias resolves) or a new
// file in the download folder. The bytes go to a temporary file beside the
// destination, which replaces it only after a complete transfer: a failed or
// stopped download leaves the user's copy, and the item's alias, as they were.
class CGetRemoteFileTask : public CInternetTask {
public:
    // Throws when the destination cannot be made (no task is made then).
    CGetRemoteFileTask(SInt16 titleList, SInt16 titleIndex, const QUrl& url, CIndexItem* item, CIndexModel* model);
    ~CGetRemoteFileTask() override;

    void TransferDone() override;
    void TransferFailed() override;

    // The local file the download ends in.
    const QString& GetLocalPath() const { return mTarget; }

protected:
    // Downloads into the temporary file and finishes as done or failed.
    void Download(Net::TransferRequest request);

private:
    void RemoveTemporaryFiles();
    int NewFileMode() const;
    void RevealItem();

    TLivePtr<CIndexItem> mItem;
    QString mTarget;          // the destination
    QString mTemporary;       // the transfer's file beside it, while it runs
    bool mCreatedTarget = false; // the destination is a new file this task made
    bool mFinished = false;
    bool mItemWasSelected = false; // the user's selection, given back at the end
};

class CGetFTPFileTask : public CGetRemoteFileTask {
public:
    using CGetRemoteFileTask::CGetRemoteFileTask;

protected:
    void RunTask() override;
};

class CGetHTTPFileTask : public CGetRemoteFileTask {
public:
    using CGetRemoteFileTask::CGetRemoteFileTask;

protected:
    void RunTask() override;
};

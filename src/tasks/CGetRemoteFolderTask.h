#pragma once

#include "CInternetTask.h"
#include "Liveness.h"
#include "RemoteNames.h"

#include <vector>

class CIndexItem;

// Reads the listing of a remote folder and adds one remote item per file to
// the index (subfolders are not entered); with "DownloadFiles" on, each of
// those files is then downloaded by a task of its own.
class CGetRemoteFolderTask : public CInternetTask {
public:
    // The items go into the model.
    CGetRemoteFolderTask(SInt16 titleList, SInt16 titleIndex, const QUrl& url, CIndexModel& model);
    ~CGetRemoteFolderTask() override;

    void Stop() override;

    // The items whose files the second step downloads.
    SInt32 CountEntries() const { return SInt32(mEntries.size()); }

protected:
    void RunTask() override;
    // Fills the index (and the entry list) from the folder's listing; failures
    // are reported here.
    virtual void FetchListing() = 0;
    virtual void StartEntryDownloads();
    // One remote item for a file of the folder, inserted at the end of the index.
    void AddEntry(const QUrl& url);

private:
    struct Entry {
        TLivePtr<CIndexItem> item;
        QUrl url; // with the credentials to log in with
    };
    std::vector<Entry> mEntries;
    bool mStopRequested = false;
};

class CGetFTPFolderTask : public CGetRemoteFolderTask {
public:
    using CGetRemoteFolderTask::CGetRemoteFolderTask;

protected:
    void FetchListing() override;
};

// An HTTP folder is its index page: its links to files in the same folder on
// the same host (the page read up to 4 MB).
class CGetHTTPFolderTask : public CGetRemoteFolderTask {
public:
    using CGetRemoteFolderTask::CGetRemoteFolderTask;

    static constexpr qint64 kMaxIndexPageBytes = 4 * 1024 * 1024;

protected:
    void FetchListing() override;
};

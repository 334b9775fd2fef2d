#pragma once

#include "CInternetTask.h"

#include <QSet>

#include <memory>

// The upload of one local file to an FTP folder (the URL's path). The file is
// sent under a temporary name and renamed when it is complete, so a stopped or
// failed upload never leaves a cut file under the real name; a name that the
// folder already holds, or that another upload of the batch ends under, gets a
// counter ("photo 1.jpg"). The uploads to one server that exist together are a
// batch: its first failure is reported, the others are not, and a refused
// log-in (530) ends the batch's uploads.
class CPutRemoteFileTask : public CInternetTask {
public:
    // 'nilP' without an alias or when it does not resolve to a file; paramErr
    // for a name that an FTP command line cannot carry.
    CPutRemoteFileTask(SInt16 titleList, SInt16 titleIndex, const QUrl& url, const QByteArray* fileAlias);
    ~CPutRemoteFileTask() override;

    void TransferDone() override;
    void TransferFailed() override;

    const QString& GetLocalPath() const { return mLocalPath; }
    // The name the file was stored under, once done.
    const QString& GetRemoteName() const { return mRemoteName; }

    struct Batch {
        bool reported = false;
        bool loginRefused = false;
        // The folder paths and names the batch's uploads end under: the listing
        // of a folder does not yet show what another upload of the batch is sending.
        QSet<QString> claimedNames;
    };

protected:
    // Reports a failure unless the batch has reported one.
    void ReportUploadFailure(const Net::TransferResult& result);
    std::shared_ptr<Batch> GetBatch() const { return mBatch; }

    QString mLocalPath;
    QString mRemoteName;
    QString mTemporaryName; // on the server, while the transfer runs
    QUrl mFolder;           // the folder URL, ending in "/"

private:
    std::shared_ptr<Batch> mBatch;
};

class CPutFTPFileTask : public CPutRemoteFileTask {
public:
    using CPutRemoteFileTask::CPutRemoteFileTask;

protected:
    void RunTask() override;
};

#pragma once

#include "CVisualTask.h"
#include "TransferCodes.h"
#include "RemoteTransfer.h"
#include "Sounds.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

class CIndexItem;
class ExceptionCode;
class TaskOwnerView;

// The code of an aborted transfer: never reported.
inline constexpr OSStatus kErrTransferAborted = 0x10000065;
// Network failures without a server reply (refused, unreachable, cut short).
inline constexpr OSStatus kErrNetworkFailed = -3260;

// Progress messages of a running transfer; the parameter is a TransferProgress.
struct TransferProgress {
    qint64 total = -1; // bytes; -1 while unknown
    qint64 done = 0;
};
enum : MessageT {
    msg_TransferFailed = 202,
    msg_TransferConnecting = 602,
    msg_TransferLoggingIn = 603,
    msg_TransferReceived = 604,      // size unknown
    msg_TransferReceivedOf = 605,    // of a known size
    msg_TransferSending = 608,
    msg_TransferAborted = 609,
    msg_TransferStarted = 612,       // size unknown
    msg_TransferStartedOf = 613,     // of a known size
    msg_TransferWaiting = 614,
    msg_TransferListing = 616,
    msg_TransferLookingUp = 615,
    msg_TransferConnected = 617,
    msg_TransferLoggedIn = 618,
    msg_TransferClosed = 619,
};

// The base of every task that moves a file over the network: the remote name
// and URL, the downloads' parallel limit (a download slot is taken before the
// task slot and kept until the task is gone), progress in kilobytes, the
// reports of failures, the stop that aborts the running transfer, and the
// completion sound.
class CInternetTask : public CVisualTask {
public:
    // The name is the last component of the URL's path (decoded, at most 255
    // bytes). A password in the URL is kept in the keyring and used for the
    // transfers, never stored or shown.
    CInternetTask(SInt16 titleList, SInt16 titleIndex, CIndexModel* model, const QUrl& url);
    ~CInternetTask() override;

    void ListenToMessage(MessageT message, void* ioParam) override;
    void ShowProgress(double delay = 0.1) override;
    void Stop() override;
    void AcquireSlot() override;

    virtual void TransferDone();
    virtual void TransferFailed();
    // A server's refusal: 404 and 550 as code 1000 with the note alert, other
    // statuses as themselves with the caution alert.
    virtual void ReportResponse(long status);
    // A thrown code, with the caution alert; an abort is not reported.
    virtual void ReportCode(const ExceptionCode& code);

    const QString& GetName() const { return mName; }
    void SetName(const QString& name) { mName = name; }
    // The URL with the credentials the transfers log in with.
    const QUrl& GetURL() const { return mURL; }
    // The URL as it may be stored or shown: without its password.
    QUrl GetStoredURL() const;
    bool HasCurrentTransfer() const { return mCurrent != nullptr; }
    // A download slot taken for this task before it starts becomes its own.
    void AdoptDownloadSlot(StDownloadSlot& slot) { mDownloadSlot.TakeFrom(slot); }

protected:
    // Runs one transfer as the current connection, showing its progress.
    Net::TransferResult RunTransfer(Net::TransferRequest request);
    // Reports a failed transfer (a server reply, or a code) and calls
    // TransferFailed; an aborted one is not reported.
    void ReportFailure(const Net::TransferResult& result);
    // The code a transfer without a usable server reply failed with.
    static ExceptionCode FailureCode(const Net::TransferResult& result);
    static bool PassiveMode();
    // For a task that moves no more bytes but goes on running.
    void ReleaseDownloadSlot() { mDownloadSlot.Release(); }

private:
    QString mName;
    QUrl mURL;
    Net::RemoteTransfer* mCurrent = nullptr;
    StCompletionSound mCompletion {20};
    StDownloadSlot mDownloadSlot;
};

// The password of an FTP account from the keyring, when the URL names a user
// without one; a password in the URL is stored there with keepPassword. The URL
// answered carries the password for the transfer.
QUrl CompleteCredentials(const QUrl& url, bool keepPassword = true);
// An FTP URL naming a user whose password is neither in it nor in the keyring:
// the user has to be asked before it can log in.
bool LacksPassword(const QUrl& url);

// Makes and starts the task for a dropped or typed URL: FTP file, FTP folder
// (the path ends in "/") or HTTP file (whatever the path ends in); any other
// scheme makes nothing. The folder alias is not used.
void StartDownloadTaskForURL(const QUrl& url, const QByteArray* downloadFolderAlias, CIndexModel* model,
    CIndexItem* item);
// The download of a remote item: 'nilP' without a remote URL, code 1 for an FTP
// folder; an HTTP folder makes a folder task. `credentials`, when given, is the
// item's URL with the password to log in with. Answers the started task (null
// for another scheme). A download slot given is handed to the task.
CInternetTask* StartDownloadTaskForItem(
    CIndexModel* model, CIndexItem* item, const QUrl& credentials = {}, StDownloadSlot* slot = nullptr);
// One upload task for the local file of the alias: FTP only; HTTP beeps.
void StartUploadTaskForURL(const QUrl& url, const QByteArray* fileAlias);
// The URL's path ends in "/" (an empty path is no folder).
bool IsFolderURL(const QUrl& url);

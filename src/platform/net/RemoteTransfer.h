#pragma once

#include "MacTypes.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <memory>

// One FTP or HTTP(S) transfer, run by the transfer thread: a single OS thread
// that drives every transfer at once (libcurl's multi interface), so that no
// transfer ever blocks the GUI thread or holds a worker of the image decoders.
// The transfer thread publishes its progress in atomics; Run waits on a
// cooperative thread, reads them about every 100 ms and is woken when the
// transfer ends. Abort may come from any context; the transfer then ends soon
// with Result().aborted set.
namespace Net {

enum class TransferKind {
    Download, // the body into localPath (which must exist), or into memory
    Upload,   // FTP: localPath to the URL
    Listing,  // FTP: the folder URL's listing (listCommand) into memory
    Commands, // FTP: log in, go to the folder URL and send `commands`
};

struct TransferRequest {
    TransferKind kind = TransferKind::Download;
    // ftp, http or https; the user and password in it log in (FTP without a
    // user logs in as "anonymous"). Its port is used.
    QUrl url;
    QString localPath;
    // A download into a file: once it is complete, the file gets these
    // permissions and is renamed to this path (the replace is atomic).
    QString renameTo;
    int renameMode = 0644;
    // A download or listing into memory stops with tooLarge beyond this.
    qint64 memoryLimit = 16 * 1024 * 1024;
    // A download into a file of no announced length stops (fileError ENOSPC)
    // before the free space of the file's disk falls below this.
    qint64 freeSpaceReserve = 512 * 1024 * 1024;
    bool passive = true; // FTP data connections; active ones use "PORT -"
    QString listCommand = QStringLiteral("MLSD");
    QStringList postCommands; // FTP: after a successful transfer
    QStringList commands;     // FTP, kind Commands
    int maxRedirects = 5;     // HTTP
    int replyTimeoutSeconds = 20;
};

struct TransferResult {
    int curlCode = 0;    // libcurl's code; 0 for success
    long status = 0;     // the last reply: the final HTTP status, or the FTP reply code
    bool aborted = false;
    bool tooLarge = false;
    bool longerThanAnnounced = false; // the body went on past its announced length (kept up to it)
    int fileError = 0;   // errno of a failed read or write of the local file
    qint64 bytes = 0;
    QByteArray body;     // downloads into memory and listings
    QString serverText;  // the last reply line of an FTP server
    QString errorText;   // libcurl's words for a failure

    // A whole transfer that the server answered with success.
    bool Succeeded() const;
};

class RemoteTransfer {
public:
    explicit RemoteTransfer(TransferRequest request);
    // Aborts a transfer that has not ended; never waits for it.
    ~RemoteTransfer();
    RemoteTransfer(const RemoteTransfer&) = delete;
    RemoteTransfer& operator=(const RemoteTransfer&) = delete;

    void Start();
    void Abort();
    bool IsDone() const;
    qint64 BytesDone() const;
    qint64 BytesTotal() const; // -1 while unknown
    // Valid once IsDone.
    const TransferResult& Result() const;

    // Starts the transfer and waits for its end on the calling cooperative
    // thread (the GUI thread runs meanwhile), calling `progress` about every
    // 100 ms and once at the end.
    const TransferResult& Run(const std::function<void()>& progress = {});

    // Starts a transfer that nobody waits for (clean-ups after a failure).
    static void RunDetached(TransferRequest request);

    struct State;

private:
    std::shared_ptr<State> mState;
};

// True when the text holds a CR or LF (or another control character that an
// FTP command line cannot carry): such names are refused, never sent.
bool HasControlCharacters(const QString& text);

} // namespace Net

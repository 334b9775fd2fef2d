#include "RemoteTransfer.h"

#include "LThread.h"
#include "Modules.h"
#include "WorkerPool.h"

#include <curl/curl.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace Net {

namespace {

constexpr UInt32 kProgressIntervalMs = 100;

// libcurl, with the TLS, Kerberos and LDAP libraries it brings, is loaded at the
// first transfer rather than with the program: loading them took most of its start.
struct CurlFunctions {
    decltype(&curl_global_init) global_init = nullptr;
    decltype(&curl_multi_init) multi_init = nullptr;
    decltype(&curl_multi_setopt) multi_setopt = nullptr;
    decltype(&curl_multi_wakeup) multi_wakeup = nullptr;
    decltype(&curl_multi_cleanup) multi_cleanup = nullptr;
    decltype(&curl_multi_add_handle) multi_add_handle = nullptr;
    decltype(&curl_multi_remove_handle) multi_remove_handle = nullptr;
    decltype(&curl_multi_perform) multi_perform = nullptr;
    decltype(&curl_multi_info_read) multi_info_read = nullptr;
    decltype(&curl_multi_poll) multi_poll = nullptr;
    decltype(&curl_easy_init) easy_init = nullptr;
    decltype(&curl_easy_setopt) easy_setopt = nullptr;
    decltype(&curl_easy_getinfo) easy_getinfo = nullptr;
    decltype(&curl_easy_cleanup) easy_cleanup = nullptr;
    decltype(&curl_easy_strerror) easy_strerror = nullptr;
    decltype(&curl_slist_append) slist_append = nullptr;
    decltype(&curl_slist_free_all) slist_free_all = nullptr;
    bool loaded = false;
    std::string error; // why libcurl could not be loaded
};

const CurlFunctions& Curl()
{
    static const CurlFunctions functions = [] {
        CurlFunctions f;
        f.loaded = LoadLibraryFunctions("libcurl.so.4", f.error, [&f](void* library) {
            return ORVEX_LIBRARY_FUNCTION(f, library, curl_, global_init)
                && ORVEX_LIBRARY_FUNCTION(f, library, curl_, multi_init)
                && ORVEX_LIBRARY_FUNCTION(f, library, curl_, multi_setopt)
                && ORVEX_LIBRARY_FUNCTION(f, library, curl_, multi_wakeup)
                && ORVEX_LIBRARY_FUNCTION(f, library, curl_, multi_cleanup)
                && ORVEX_LIBRARY_FUNCTION(f, library, curl_, multi_add_handle)
                && ORVEX_LIBRARY_FUNCTION(f, library, curl_, multi_remove_handle)
                && ORVEX_LIBRARY_FUNCTION(f, library, curl_, multi_perform)
                && ORVEX_LIBRARY_FUNCTION(f, library, curl_, multi_info_read)
                && ORVEX_LIBRARY_FUNCTION(f, library, curl_, multi_poll)
                && ORVEX_LIBRARY_FUNCTION(f, library, curl_, easy_init)
                && ORVEX_LIBRARY_FUNCTION(f, library, curl_, easy_setopt)
                && ORVEX_LIBRARY_FUNCTION(f, library, curl_, easy_getinfo)
                && ORVEX_LIBRARY_FUNCTION(f, library, curl_, easy_cleanup)
                && ORVEX_LIBRARY_FUNCTION(f, library, curl_, easy_strerror)
                && ORVEX_LIBRARY_FUNCTION(f, library, curl_, slist_append)
                && ORVEX_LIBRARY_FUNCTION(f, library, curl_, slist_free_all);
        });
        return f;
    }();
    return functions;
}

bool IsFTP(const QUrl& url)
{
    return url.scheme().compare(QLatin1String("ftp"), Qt::CaseInsensitive) == 0;
}

} // namespace

struct RemoteTransfer::State {
    explicit State(TransferRequest r) : request(std::move(r)) {}

    TransferRequest request;
    TransferResult result;
    std::atomic<qint64> done{0};
    std::atomic<qint64> total{-1};
    std::atomic<bool> abort{false};
    std::atomic<bool> finished{false};

    // GUI thread only: the cooperative thread sleeping in Run.
    ThreadID waiter = 0;
    bool sleeping = false;

    // Transfer thread only.
    CURL* easy = nullptr;
    int fd = -1;
    curl_slist* postQuote = nullptr;
    curl_slist* quote = nullptr;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    QByteArray lastReply;
    QByteArray refusal; // the last 4xx or 5xx reply
};

namespace {

using StatePtr = std::shared_ptr<RemoteTransfer::State>;

size_t WriteBody(char* data, size_t size, size_t count, void* user)
{
    auto* state = static_cast<RemoteTransfer::State*>(user);
    const size_t length = size * count;
    if (!IsFTP(state->request.url)) {
        // Only a success's body is kept: an error page is not the file.
        long status = 0;
        Curl().easy_getinfo(state->easy, CURLINFO_RESPONSE_CODE, &status);
        if (status < 200 || status > 299)
            return length;
    }
    if (state->fd >= 0) {
        // A body never outgrows the length its server announced; one of no
        // announced length stops before the disk's free space falls below the reserve.
        size_t keep = length;
        curl_off_t announced = -1;
        Curl().easy_getinfo(state->easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
        if (announced >= 0) {
            if (state->result.bytes + qint64(length) > qint64(announced)) {
                keep = size_t(std::max<qint64>(qint64(announced) - state->result.bytes, 0));
                state->result.longerThanAnnounced = true;
            }
        } else {
            struct statvfs disk {};
            if (::fstatvfs(state->fd, &disk) == 0
                && qint64(disk.f_bavail) * qint64(disk.f_frsize) - qint64(length) < state->request.freeSpaceReserve) {
                state->result.fileError = ENOSPC;
                return 0;
            }
        }
        size_t written = 0;
        while (written < keep) {
            const ssize_t n = ::write(state->fd, data + written, keep - written);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                state->result.fileError = errno;
                return 0;
            }
            written += size_t(n);
        }
        if (state->result.longerThanAnnounced) {
            state->result.bytes += qint64(keep);
            return 0;
        }
    } else {
        if (state->result.body.size() + qint64(length) > state->request.memoryLimit) {
            state->result.tooLarge = true;
            return 0;
        }
        state->result.body.append(data, qsizetype(length));
    }
    state->result.bytes += qint64(length);
    return length;
}

size_t ReadUpload(char* buffer, size_t size, size_t count, void* user)
{
    auto* state = static_cast<RemoteTransfer::State*>(user);
    for (;;) {
        const ssize_t n = ::read(state->fd, buffer, size * count);
        if (n >= 0) {
            state->result.bytes += n;
            return size_t(n);
        }
        if (errno != EINTR) {
            state->result.fileError = errno;
            return CURL_READFUNC_ABORT;
        }
    }
}

// An FTP server's replies come through here; the last one is what a refusal says.
size_t KeepReply(char* data, size_t size, size_t count, void* user)
{
    auto* state = static_cast<RemoteTransfer::State*>(user);
    QByteArray line(data, qsizetype(size * count));
    line = line.trimmed();
    if (!line.isEmpty())
        state->lastReply = line;
    if (line.startsWith('4') || line.startsWith('5'))
        state->refusal = line;
    return size * count;
}

int Progress(void* user, curl_off_t downTotal, curl_off_t downNow, curl_off_t upTotal, curl_off_t upNow)
{
    auto* state = static_cast<RemoteTransfer::State*>(user);
    if (state->request.kind == TransferKind::Upload) {
        state->done = upNow;
        state->total = upTotal > 0 ? upTotal : -1;
    } else {
        state->done = downNow;
        state->total = downTotal > 0 ? downTotal : -1;
    }
    return state->abort ? 1 : 0;
}

curl_slist* MakeList(const QStringList& lines)
{
    curl_slist* list = nullptr;
    for (const QString& line : lines)
        list = Curl().slist_append(list, line.toUtf8().constData());
    return list;
}

class Engine {
public:
    Engine()
    {
        // The pool that carries the wake-ups is made first, so it outlives this.
        WorkerPool::ThreadCount();
        if (!Curl().loaded)
            return;
        Curl().global_init(CURL_GLOBAL_DEFAULT);
        mMulti = Curl().multi_init();
        // Logged-in connections are kept for the next transfers to the same servers.
        Curl().multi_setopt(mMulti, CURLMOPT_MAXCONNECTS, 32L);
        mThread = std::thread([this] { Loop(); });
    }
    ~Engine()
    {
        if (!mMulti)
            return;
        {
            std::lock_guard lock(mMutex);
            mStopping = true;
        }
        Curl().multi_wakeup(mMulti);
        mThread.join();
        Curl().multi_cleanup(mMulti);
    }

    void Submit(StatePtr state)
    {
        if (!mMulti) {
            // Without libcurl every transfer fails at once, saying why.
            state->result.errorText = QString::fromStdString(Curl().error);
            Finish(state, CURLE_FAILED_INIT);
            return;
        }
        {
            std::lock_guard lock(mMutex);
            mIncoming.push_back(std::move(state));
        }
        Curl().multi_wakeup(mMulti);
    }
    void Wake()
    {
        if (mMulti)
            Curl().multi_wakeup(mMulti);
    }

private:
    void Loop()
    {
        for (;;) {
            std::deque<StatePtr> incoming;
            {
                std::lock_guard lock(mMutex);
                if (mStopping)
                    break;
                incoming.swap(mIncoming);
            }
            // An abort ends its transfer now, not at libcurl's next progress call.
            for (std::size_t i = 0; i < mActive.size();) {
                if (mActive[i]->abort) {
                    StatePtr state = mActive[i];
                    mActive.erase(mActive.begin() + qsizetype(i));
                    Curl().multi_remove_handle(mMulti, state->easy);
                    Finish(state, CURLE_ABORTED_BY_CALLBACK);
                } else {
                    ++i;
                }
            }
            for (StatePtr& state : incoming)
                Begin(std::move(state));
            int running = 0;
            Curl().multi_perform(mMulti, &running);
            int left = 0;
            while (CURLMsg* message = Curl().multi_info_read(mMulti, &left)) {
                if (message->msg != CURLMSG_DONE)
                    continue;
                auto found = std::find_if(mActive.begin(), mActive.end(),
                    [&](const StatePtr& s) { return s->easy == message->easy_handle; });
                if (found == mActive.end())
                    continue;
                StatePtr state = *found;
                mActive.erase(found);
                const CURLcode code = message->data.result;
                Curl().multi_remove_handle(mMulti, state->easy);
                Finish(state, code);
            }
            // Woken at once by a new transfer or an abort; the bound keeps a wake
            // libcurl did not see (its connection cache tidying, say) from
            // holding the transfers that wait on it for long.
            Curl().multi_poll(mMulti, nullptr, 0, int(kProgressIntervalMs), nullptr);
        }
        // The program ends: nobody is left to wake.
        for (StatePtr& state : mActive) {
            Curl().multi_remove_handle(mMulti, state->easy);
            Finish(state, CURLE_ABORTED_BY_CALLBACK, false);
        }
        mActive.clear();
    }

    void Begin(StatePtr state)
    {
        const TransferRequest& request = state->request;
        if (state->abort) {
            Finish(state, CURLE_ABORTED_BY_CALLBACK);
            return;
        }
        // A CR or LF would end an FTP command early and start another.
        bool unsafe = HasControlCharacters(request.url.path(QUrl::FullyDecoded))
            || HasControlCharacters(request.url.userName()) || HasControlCharacters(request.url.password());
        for (const QString& line : request.postCommands + request.commands)
            unsafe = unsafe || HasControlCharacters(line);
        if (unsafe) {
            Finish(state, CURLE_URL_MALFORMAT);
            return;
        }
        if (!request.localPath.isEmpty()) {
            const QByteArray path = request.localPath.toLocal8Bit();
            // Never O_CREAT: a file that its task removed meanwhile stays removed.
            state->fd = ::open(path.constData(), (request.kind == TransferKind::Upload ? O_RDONLY : O_WRONLY) | O_CLOEXEC);
            // Never O_TRUNC on the empty file that the task made: ext4 takes a
            // truncate as a replaced file's contents and writes the whole body
            // back to the disk on close, which halves the download's speed.
            struct stat info {};
            if (state->fd >= 0 && request.kind != TransferKind::Upload && ::fstat(state->fd, &info) == 0
                && info.st_size > 0 && ::ftruncate(state->fd, 0) != 0) {
                const int error = errno;
                ::close(state->fd);
                state->fd = -1;
                errno = error;
            }
            if (state->fd < 0) {
                state->result.fileError = errno;
                Finish(state, request.kind == TransferKind::Upload ? CURLE_READ_ERROR : CURLE_WRITE_ERROR);
                return;
            }
        }

        CURL* easy = Curl().easy_init();
        state->easy = easy;
        const QUrl bare = request.url.adjusted(QUrl::RemoveUserInfo);
        Curl().easy_setopt(easy, CURLOPT_URL, bare.toEncoded().constData());
        if (!request.url.userName().isEmpty()) {
            Curl().easy_setopt(easy, CURLOPT_USERNAME, request.url.userName().toUtf8().constData());
            Curl().easy_setopt(easy, CURLOPT_PASSWORD, request.url.password().toUtf8().constData());
        }
        Curl().easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "ftp,http,https");
        Curl().easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        Curl().easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, long(request.replyTimeoutSeconds));
        Curl().easy_setopt(easy, CURLOPT_SERVER_RESPONSE_TIMEOUT, long(request.replyTimeoutSeconds));
        Curl().easy_setopt(easy, CURLOPT_ERRORBUFFER, state->errorBuffer);
        Curl().easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
        Curl().easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &Progress);
        Curl().easy_setopt(easy, CURLOPT_XFERINFODATA, state.get());
        Curl().easy_setopt(easy, CURLOPT_BUFFERSIZE, 256L * 1024);
        Curl().easy_setopt(easy, CURLOPT_WRITEFUNCTION, &WriteBody);
        Curl().easy_setopt(easy, CURLOPT_WRITEDATA, state.get());
        if (IsFTP(request.url)) {
            Curl().easy_setopt(easy, CURLOPT_HEADERFUNCTION, &KeepReply);
            Curl().easy_setopt(easy, CURLOPT_HEADERDATA, state.get());
            if (!request.passive)
                Curl().easy_setopt(easy, CURLOPT_FTPPORT, "-");
        } else {
            Curl().easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
            Curl().easy_setopt(easy, CURLOPT_MAXREDIRS, long(request.maxRedirects));
            Curl().easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        }
        switch (request.kind) {
        case TransferKind::Download:
            break;
        case TransferKind::Listing:
            Curl().easy_setopt(easy, CURLOPT_CUSTOMREQUEST, request.listCommand.toUtf8().constData());
            break;
        case TransferKind::Upload: {
            Curl().easy_setopt(easy, CURLOPT_UPLOAD, 1L);
            Curl().easy_setopt(easy, CURLOPT_READFUNCTION, &ReadUpload);
            Curl().easy_setopt(easy, CURLOPT_READDATA, state.get());
            const off_t size = ::lseek(state->fd, 0, SEEK_END);
            ::lseek(state->fd, 0, SEEK_SET);
            if (size >= 0)
                Curl().easy_setopt(easy, CURLOPT_INFILESIZE_LARGE, curl_off_t(size));
            break;
        }
        case TransferKind::Commands:
            Curl().easy_setopt(easy, CURLOPT_NOBODY, 1L);
            state->quote = MakeList(request.commands);
            Curl().easy_setopt(easy, CURLOPT_QUOTE, state->quote);
            break;
        }
        if (!request.postCommands.isEmpty()) {
            state->postQuote = MakeList(request.postCommands);
            Curl().easy_setopt(easy, CURLOPT_POSTQUOTE, state->postQuote);
        }
        Curl().multi_add_handle(mMulti, easy);
        mActive.push_back(std::move(state));
    }

    static void Finish(const StatePtr& state, CURLcode code, bool wake = true)
    {
        TransferResult& result = state->result;
        result.curlCode = int(code);
        if (state->easy) {
            Curl().easy_getinfo(state->easy, CURLINFO_RESPONSE_CODE, &result.status);
            result.errorText = QString::fromUtf8(state->errorBuffer);
            Curl().easy_cleanup(state->easy);
            state->easy = nullptr;
        }
        for (curl_slist** list : {&state->quote, &state->postQuote}) {
            if (*list)
                Curl().slist_free_all(*list);
            *list = nullptr;
        }
        if (result.errorText.isEmpty() && code != CURLE_OK && Curl().loaded)
            result.errorText = QString::fromUtf8(Curl().easy_strerror(code));
        // A refusal is what a failure reports; libcurl's reply code may belong
        // to a later command (QUIT on a connection it closes meanwhile).
        const QByteArray& said = code != CURLE_OK && !state->refusal.isEmpty() ? state->refusal : state->lastReply;
        result.serverText = QString::fromUtf8(said);
        if (code != CURLE_OK && result.status < 400 && !state->refusal.isEmpty())
            result.status = state->refusal.left(3).toInt();
        result.aborted = state->abort || code == CURLE_ABORTED_BY_CALLBACK;
        if (state->fd >= 0) {
            const bool rename = !state->request.renameTo.isEmpty() && result.Succeeded();
            if (rename && ::fchmod(state->fd, mode_t(state->request.renameMode)) != 0)
                result.fileError = errno;
            if (::close(state->fd) != 0 && result.fileError == 0)
                result.fileError = errno;
            state->fd = -1;
            // Here rather than on the GUI thread: the file system may make a
            // rename over a large file wait for its blocks to reach the disk.
            if (rename && result.fileError == 0
                && ::rename(state->request.localPath.toLocal8Bit().constData(),
                       state->request.renameTo.toLocal8Bit().constData())
                    != 0)
                result.fileError = errno;
        }
        state->finished = true;
        if (!wake)
            return;
        // The waiting cooperative thread is woken on the GUI thread.
        std::weak_ptr<RemoteTransfer::State> weak = state;
        WorkerPool::PostToGuiThread([weak] {
            StatePtr waiting = weak.lock();
            if (!waiting || !waiting->sleeping)
                return;
            if (LThread* thread = LThread::FromID(waiting->waiter))
                thread->Wake();
        });
    }

    std::mutex mMutex;
    std::deque<StatePtr> mIncoming;
    bool mStopping = false;
    std::vector<StatePtr> mActive; // transfer thread only
    CURLM* mMulti = nullptr;
    std::thread mThread;
};

std::atomic<bool> gEngineMade { false };

Engine& TheEngine()
{
    static Engine engine;
    gEngineMade.store(true, std::memory_order_release);
    return engine;
}

// The engine, made the first time on a worker: loading libcurl with its TLS and
// protocol libraries takes tens of milliseconds, from a cold disk far more, and
// the window must not wait on it.
Engine& ReadyEngine()
{
    if (!gEngineMade.load(std::memory_order_acquire))
        WorkerPool::Run([] { TheEngine(); });
    return TheEngine();
}

} // namespace

bool TransferResult::Succeeded() const
{
    if (curlCode != CURLE_OK || aborted || tooLarge || longerThanAnnounced || fileError != 0)
        return false;
    // FTP answers 226 (or 250) after a transfer; HTTP any 2xx.
    return status == 0 || (status >= 200 && status <= 299);
}

bool HasControlCharacters(const QString& text)
{
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7F; });
}

RemoteTransfer::RemoteTransfer(TransferRequest request) : mState(std::make_shared<State>(std::move(request))) {}

RemoteTransfer::~RemoteTransfer()
{
    if (!IsDone())
        Abort();
}

void RemoteTransfer::Start()
{
    ReadyEngine().Submit(mState);
}

void RemoteTransfer::Abort()
{
    mState->abort = true;
    // A transfer never started has no engine to wake.
    if (gEngineMade.load(std::memory_order_acquire))
        TheEngine().Wake();
}

bool RemoteTransfer::IsDone() const
{
    return mState->finished.load(std::memory_order_acquire);
}

qint64 RemoteTransfer::BytesDone() const
{
    return mState->done;
}

qint64 RemoteTransfer::BytesTotal() const
{
    return mState->total;
}

const TransferResult& RemoteTransfer::Result() const
{
    return mState->result;
}

const TransferResult& RemoteTransfer::Run(const std::function<void()>& progress)
{
    Start();
    while (!IsDone()) {
        if (LThread* current = LThread::GetCurrentThread())
            mState->waiter = current->GetID();
        mState->sleeping = true;
        LThread::Sleep(kProgressIntervalMs);
        mState->sleeping = false;
        if (progress && !IsDone())
            progress();
    }
    if (progress)
        progress();
    return Result();
}

void RemoteTransfer::RunDetached(TransferRequest request)
{
    ReadyEngine().Submit(std::make_shared<State>(std::move(request)));
}

} // namespace Net

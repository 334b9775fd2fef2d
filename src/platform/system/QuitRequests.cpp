#include "QuitRequests.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QPointer>
#include <QSessionManager>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <exception>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

Q_LOGGING_CATEGORY(lcQuit, "orvex.quit")

constexpr int kSignals[] = { SIGTERM, SIGINT, SIGHUP };

// The self-pipe: [0] read on the GUI thread, [1] written by the signal handler.
int gPipe[2] = { -1, -1 };

void OnSignal(int signalNumber)
{
    // Only async-signal-safe calls here; errno is the interrupted code's.
    const int savedErrno = errno;
    const char byte = char(signalNumber);
    [[maybe_unused]] const ssize_t written = ::write(gPipe[1], &byte, 1);
    errno = savedErrno;
}

class QuitListener : public QObject {
public:
    QuitListener(std::function<void()> quit, std::function<bool()> mayEndSession)
        : mQuit(std::move(quit))
        , mMayEndSession(std::move(mayEndSession))
        , mNotifier(gPipe[0], QSocketNotifier::Read, this)
    {
        connect(&mNotifier, &QSocketNotifier::activated, this, [this] { ReadSignals(); });
        if (auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
            connect(gui, &QGuiApplication::commitDataRequest, this,
                [this](QSessionManager& manager) { CommitData(manager); }, Qt::DirectConnection);
        }
    }

    void SetCalls(std::function<void()> quit, std::function<bool()> mayEndSession)
    {
        mQuit = std::move(quit);
        mMayEndSession = std::move(mayEndSession);
    }

private:
    void CommitData(QSessionManager& manager)
    {
        if (mMayEndSession && manager.allowsInteraction()) {
            bool mayEnd = true;
            try {
                mayEnd = mMayEndSession();
            } catch (const std::exception& e) {
                qCWarning(lcQuit) << "the session's end could not be asked about:" << e.what();
            }
            if (!mayEnd)
                manager.cancel();
            manager.release();
            if (!mayEnd)
                return;
        }
        // The end runs once the session manager's handler has returned: the manager
        // must not see the program end inside its own request.
        QMetaObject::invokeMethod(this, [this] { Quit("the session manager"); }, Qt::QueuedConnection);
    }

    void ReadSignals()
    {
        char bytes[64];
        int last = 0;
        for (;;) {
            const ssize_t got = ::read(gPipe[0], bytes, sizeof bytes);
            if (got > 0) {
                last = bytes[got - 1];
                continue;
            }
            if (got < 0 && errno == EINTR)
                continue;
            break; // drained (EAGAIN) or closed
        }
        if (last != 0)
            Quit(strsignal(last));
    }

    void Quit(const char* cause)
    {
        if (mQuitting || !mQuit)
            return;
        qCInfo(lcQuit) << "quitting at the request of" << cause;
        mQuitting = true;
        // The quit may run a nested event loop (a document asking to save) and may keep
        // the program running; later requests are then welcome again.
        struct Reset {
            bool& flag;
            ~Reset() { flag = false; }
        } reset { mQuitting };
        // This runs from the event loop: nothing may escape into Qt.
        try {
            mQuit();
        } catch (const std::exception& e) {
            qCWarning(lcQuit) << "the quit failed:" << e.what();
        }
    }

    std::function<void()> mQuit;
    std::function<bool()> mMayEndSession;
    QSocketNotifier mNotifier;
    bool mQuitting = false;
};

QPointer<QuitListener> gListener;

bool SetNonBlockingCloseOnExec(int fd)
{
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0 && ::fcntl(fd, F_SETFD, FD_CLOEXEC) == 0;
}

void CloseThePipe()
{
    for (int& fd : gPipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

} // namespace

namespace QuitRequests {

bool Install(std::function<void()> quit, std::function<bool()> mayEndSession)
{
    if (gListener) {
        gListener->SetCalls(std::move(quit), std::move(mayEndSession));
        return true;
    }
    if (!QCoreApplication::instance())
        return false;
    CloseThePipe(); // left by a listener that went with an earlier application
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, gPipe) != 0 || !SetNonBlockingCloseOnExec(gPipe[0])
        || !SetNonBlockingCloseOnExec(gPipe[1])) {
        qCWarning(lcQuit) << "no pipe for the quit signals:" << strerror(errno);
        CloseThePipe();
        return false;
    }
    gListener = new QuitListener(std::move(quit), std::move(mayEndSession));
    gListener->setParent(QCoreApplication::instance()); // goes with the application at the latest

    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signalNumber : kSignals) {
        if (::sigaction(signalNumber, &action, nullptr) != 0) {
            qCWarning(lcQuit) << "cannot handle" << strsignal(signalNumber) << ":" << strerror(errno);
            Remove();
            return false;
        }
    }
    return true;
}

void Remove()
{
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (int signalNumber : kSignals)
        ::sigaction(signalNumber, &action, nullptr);
    delete gListener.data();
    CloseThePipe();
}

} // namespace QuitRequests

// Loaded into a program (LD_PRELOAD) by the start-up benchmark. Qt's start-up hook
// puts an event filter on the application. The first window exposed is let
// through, so the program paints it and sends the picture to the X server; once
// that event is handled, a round trip to the server makes sure the server has
// drawn it, and the probe writes "<resident KiB> <CPU microseconds> <width>x<height>
// <window title>" to the descriptor named by ORVEX_STARTUP_PROBE_FD and ends the
// process at once. The CPU time is the whole process's, every thread's, from its
// start (the dynamic loader's work included).
// Without that variable it does nothing.
#include <QGuiApplication>
#include <QEvent>
#include <QFile>
#include <QPointer>
#include <QWindow>

#include <xcb/xcb.h>

#include <time.h>
#include <unistd.h>

namespace {

class PaintProbe : public QObject {
public:
    explicit PaintProbe(int fd) : mFd(fd) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::Expose || mWindow)
            return false;
        auto* window = qobject_cast<QWindow*>(watched);
        if (!window || !window->isExposed())
            return false;
        // The window handles its expose now (it paints and flushes), then the report.
        mWindow = window;
        QCoreApplication::sendEvent(window, event);
        Report();
        return true;
    }

private:
    void Report()
    {
        if (auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr) {
            xcb_connection_t* connection = x11->connection();
            free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
        }
        timespec cpu {};
        ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
        const qint64 cpuMicroseconds = qint64(cpu.tv_sec) * 1000000 + cpu.tv_nsec / 1000;
        QByteArray line = ResidentKiB() + ' ' + QByteArray::number(cpuMicroseconds) + ' '
            + QByteArray::number(mWindow->width()) + 'x'
            + QByteArray::number(mWindow->height()) + ' ' + mWindow->title().toUtf8() + '\n';
        const ssize_t written = ::write(mFd, line.constData(), size_t(line.size()));
        ::_exit(written == line.size() ? 0 : 1);
    }

    static QByteArray ResidentKiB()
    {
        QFile status(QStringLiteral("/proc/self/status"));
        if (status.open(QIODevice::ReadOnly))
            for (const QByteArray& line : status.readAll().split('\n'))
                if (line.startsWith("VmRSS:"))
                    return line.mid(6).trimmed().split(' ').first();
        return "0";
    }

    int mFd;
    QPointer<QWindow> mWindow;
};

} // namespace

extern "C" Q_DECL_EXPORT void qt_startup_hook()
{
    bool ok = false;
    const int fd = qEnvironmentVariableIntValue("ORVEX_STARTUP_PROBE_FD", &ok);
    if (ok && QCoreApplication::instance())
        QCoreApplication::instance()->installEventFilter(new PaintProbe(fd));
}

// Loaded into a program (LD_PRELOAD) by the start-up benchmark. Qt's start-up hook
// puts an event filter on the application; at the first window exposed it writes
// "<resident KiB> <window title>" to the descriptor named by ORVEX_STARTUP_PROBE_FD
// and ends the process at once. Without that variable it does nothing.
#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QWindow>

#include <unistd.h>

namespace {

class ExposeProbe : public QObject {
public:
    explicit ExposeProbe(int fd) : mFd(fd) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::Expose)
            return false;
        auto* window = qobject_cast<QWindow*>(watched);
        if (!window || !window->isExposed())
            return false;
        QByteArray line = ResidentKiB() + ' ' + window->title().toUtf8() + '\n';
        const ssize_t written = ::write(mFd, line.constData(), size_t(line.size()));
        ::_exit(written == line.size() ? 0 : 1);
    }

private:
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
};

} // namespace

extern "C" Q_DECL_EXPORT void qt_startup_hook()
{
    bool ok = false;
    const int fd = qEnvironmentVariableIntValue("ORVEX_STARTUP_PROBE_FD", &ok);
    if (ok && QCoreApplication::instance())
        QCoreApplication::instance()->installEventFilter(new ExposeProbe(fd));
}

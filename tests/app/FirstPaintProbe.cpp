// Preloaded into the program by the start-up test. Qt's start-up hook puts an event
// filter on the application: the first window exposed is painted, then the image
// plugins loaded by that moment are written, one a line after "painted", to the file
// that ORVEX_FIRST_PAINT_REPORT names, and the program ends at once.
#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QWindow>

#include <unistd.h>

namespace {

class FirstPaintProbe : public QObject {
protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* window = qobject_cast<QWindow*>(watched);
        if (event->type() != QEvent::Expose || !window || !window->isExposed() || mPainting)
            return false;
        // The window handles its expose now (it paints), then the report.
        mPainting = true;
        QCoreApplication::sendEvent(window, event);
        QByteArray report = "painted\n";
        QFile maps(QStringLiteral("/proc/self/maps"));
        if (maps.open(QIODevice::ReadOnly)) {
            for (const QByteArray& line : maps.readAll().split('\n')) {
                const QByteArray plugin = line.mid(line.lastIndexOf('/') + 1) + '\n';
                if (line.contains("/imageformats/") && !report.contains(plugin))
                    report += plugin;
            }
        }
        QFile file(qEnvironmentVariable("ORVEX_FIRST_PAINT_REPORT"));
        const bool written = file.open(QIODevice::WriteOnly) && file.write(report) == report.size() && file.flush();
        ::_exit(written ? 0 : 1);
    }

private:
    bool mPainting = false;
};

} // namespace

extern "C" Q_DECL_EXPORT void qt_startup_hook()
{
    if (qEnvironmentVariableIsSet("ORVEX_FIRST_PAINT_REPORT") && QCoreApplication::instance())
        QCoreApplication::instance()->installEventFilter(new FirstPaintProbe);
}

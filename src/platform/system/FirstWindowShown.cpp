#include "FirstWindowShown.h"

#include "DeferredIcon.h"

#include <QCoreApplication>
#include <QEvent>
#include <QApplication>
#include <QGuiApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <vector>

namespace {

struct Waiting {
    QPointer<QObject> context;
    std::function<void()> work;
};

// Watches the application's events until a window is first exposed.
class ExposeWatch : public QObject {
public:
    std::vector<Waiting> waiting;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Expose) {
            auto* window = qobject_cast<QWindow*>(watched);
            if (window && window->isExposed())
                Release();
        }
        return false;
    }

private:
    void Release();
};

bool gShown = false;
QPointer<ExposeWatch> gWatch;

void Queue(QObject* context, std::function<void()> work)
{
    // After the expose event: the window paints first.
    QTimer::singleShot(0, context, std::move(work));
}

void ExposeWatch::Release()
{
    gShown = true;
    QCoreApplication::instance()->removeEventFilter(this);
    for (Waiting& entry : waiting)
        if (entry.context)
            Queue(entry.context, std::move(entry.work));
    waiting.clear();
    deleteLater();
}

} // namespace

void RunOnceAWindowIsShown(QObject* context, std::function<void()> work)
{
    if (gShown || !qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        Queue(context, std::move(work));
        return;
    }
    if (!gWatch) {
        gWatch = new ExposeWatch;
        gWatch->setParent(QCoreApplication::instance());
        QCoreApplication::instance()->installEventFilter(gWatch);
    }
    gWatch->waiting.push_back({context, std::move(work)});
}

void HoldThemeIconsUntilAWindowIsShown()
{
    HoldThemeIcons(true);
    RunOnceAWindowIsShown(QCoreApplication::instance(), [] {
        HoldThemeIcons(false);
        for (QWidget* window : QApplication::topLevelWidgets())
            window->update();
    });
}

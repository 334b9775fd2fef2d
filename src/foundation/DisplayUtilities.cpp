#include "DisplayUtilities.h"

#include "PrefKeys.h"

#include "LCommander.h"
#include "LStream.h"
#include "Preferences.h"
#include "UReportErrors.h"
#include "UResources.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QMenu>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <cmath>

SInt32 gFullScreenNesting = 0;

namespace {

constexpr int kFadeStepMs = 16;

// The desktop-wide command IDs that have framework command numbers.
CommandT FrameworkCommandFor(CommandT command)
{
    switch (command) {
    case 'quit':
        return 10;
    case 'pref':
        return 27;
    case 'prnt':
        return 9;
    default:
        return command;
    }
}

} // namespace

void BeginFullScreenMode(bool lockDown)
{
    Q_UNUSED(lockDown); // panels and session keys belong to the desktop; windows go full screen themselves
    --gFullScreenNesting;
}

void EndFullScreenMode()
{
    if (gFullScreenNesting < 0)
        ++gFullScreenNesting;
}

bool IsSystemUIHidden()
{
    return gFullScreenNesting < 0;
}

StDisplayFade::StDisplayFade(float seconds, bool synchronous)
    : mSeconds(seconds)
    , mSynchronous(synchronous)
{
    if (!Pref::MediaUseFadeEffect.Get() || !qApp)
        return;
    // One black, click-through curtain per screen, faded in over half the time.
    for (QScreen* screen : QGuiApplication::screens()) {
        if (mCurtainCount == int(std::size(mCurtains)))
            break;
        auto curtain = std::make_unique<QWidget>(nullptr,
            Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::Tool | Qt::WindowTransparentForInput);
        curtain->setAttribute(Qt::WA_ShowWithoutActivating);
        curtain->setStyleSheet(QStringLiteral("background: black;"));
        curtain->setGeometry(screen->geometry());
        curtain->setWindowOpacity(0.0);
        curtain->show();
        mCurtains[mCurtainCount++] = std::move(curtain);
    }
    Fade(0.0, 1.0, mSeconds * 0.5);
    mFaded = mCurtainCount > 0;
}

StDisplayFade::~StDisplayFade()
{
    if (mFaded)
        Fade(1.0, 0.0, mSeconds);
    for (int i = 0; i < mCurtainCount; ++i)
        mCurtains[i].reset();
    mFaded = false;
}

void StDisplayFade::Fade(double from, double to, double seconds)
{
    auto setOpacity = [this](double opacity) {
        for (int i = 0; i < mCurtainCount; ++i)
            mCurtains[i]->setWindowOpacity(opacity);
    };
    if (!mSynchronous || seconds <= 0) {
        setOpacity(to);
        return;
    }
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        double t = std::min(1.0, double(clock.elapsed()) / (seconds * 1000.0));
        setOpacity(from + (to - from) * t);
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, kFadeStepMs);
        if (t >= 1.0)
            break;
    }
}

StItemListLock::StItemListLock(AItemListLockable* view)
    : mView(view)
{
    if (mView)
        mView->LockItemList();
}

StItemListLock::~StItemListLock()
{
    if (mView)
        mView->UnlockItemList();
}

OSStatus PostCommandEvent(CommandT command, LCommander* target)
{
    QPointer<QObject> guard = qApp;
    if (!guard)
        return paramErr;
    // Runs once, when the event loop next turns; the target is looked up then, so a
    // commander deleted meanwhile is never called.
    bool explicitTarget = target != nullptr;
    QTimer::singleShot(0, qApp, [command, target, explicitTarget] {
        LCommander* commander = explicitTarget ? target : LCommander::GetTarget();
        if (!commander)
            commander = LCommander::GetDefaultCommander();
        if (commander)
            RunReportingErrors([&] { commander->ProcessCommand(FrameworkCommandFor(command), nullptr); });
    });
    return noErr;
}

bool MenuHasItemText(const QMenu* menu, const QString& text)
{
    if (!menu)
        return false;
    const QList<QAction*> actions = menu->actions();
    for (auto it = actions.rbegin(); it != actions.rend(); ++it)
        if ((*it)->text() == text)
            return true;
    return false;
}

bool IsSavedSettingsCommand(CommandT command)
{
    return command >= 9000 && command <= 9999;
}

bool IsSavedSearchCommand(CommandT command)
{
    return command >= 9000 && command <= 9499;
}

bool IsSavedBatchCommand(CommandT command)
{
    return command >= 9500 && command <= 9999;
}

SInt32 SavedSettingsIndexFromCommand(CommandT command)
{
    if (IsSavedSearchCommand(command))
        return command - 9000;
    if (IsSavedBatchCommand(command))
        return command - 9500;
    return 0;
}

bool FieldIDFromCommand(const CommandT* command, SInt32* field)
{
    if (!command || *command < 10001 || *command > 12999)
        return false;
    if (field)
        *field = *command - 6000;
    return true;
}

void ScramblePString(Str255& text)
{
    unsigned char* bytes = text.Data();
    for (int i = 1; i < text.Length(); ++i)
        bytes[i] = static_cast<unsigned char>(bytes[i] + 7);
}

void UnscramblePString(Str255& text)
{
    unsigned char* bytes = text.Data();
    for (int i = 1; i < text.Length(); ++i)
        bytes[i] = static_cast<unsigned char>(bytes[i] - 7);
}

UInt32 SecondsToTicks(double seconds)
{
    double ticks = 60.0 * seconds + 0.5;
    if (!(ticks > 0))
        return 0;
    if (ticks >= 4294967295.0)
        return 4294967295u;
    return UInt32(ticks);
}

namespace {

constexpr int kPoofFrames = 5;
constexpr double kPoofFrameSeconds = 0.05;
constexpr double kPoofOpacity = 0.7;

// Paints one frame of the poof, drawn at twice the image's pixel size.
class PoofOverlay : public QWidget {
public:
    explicit PoofOverlay(const QImage& image)
        : QWidget(nullptr, Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::Tool | Qt::WindowTransparentForInput)
        , mImage(image)
    {
        setAttribute(Qt::WA_TranslucentBackground);
        setAttribute(Qt::WA_ShowWithoutActivating);
        setWindowOpacity(kPoofOpacity);
        resize(2 * mImage.width() / kPoofFrames, 2 * mImage.height());
    }
    void SetFrame(int frame)
    {
        mFrame = frame;
        repaint();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.fillRect(rect(), Qt::transparent);
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(QRect(-mFrame * width(), 0, 2 * mImage.width(), 2 * mImage.height()), mImage);
    }

private:
    QImage mImage;
    int mFrame = 0;
};

} // namespace

const QImage& GetPoofImage()
{
    static const QImage image = [] {
        Q_INIT_RESOURCE(orvex);
        return UResources::ReadImage(QStringLiteral(":/images/poof.png"));
    }();
    return image;
}

void AnimatePoof(QPoint globalCentre)
{
    const QImage& image = GetPoofImage();
    if (image.isNull() || !qApp)
        return;
    PoofOverlay overlay(image);
    overlay.move(globalCentre.x() - overlay.width() / 2, globalCentre.y() - image.height());
    overlay.show();
    for (int frame = 0; frame < kPoofFrames; ++frame) {
        overlay.SetFrame(frame);
        QElapsedTimer clock;
        clock.start();
        const qint64 wait = qint64(SecondsToTicks(kPoofFrameSeconds)) * 1000 / 60;
        while (clock.elapsed() < wait)
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, int(wait - clock.elapsed()));
    }
}

void ShowPoofEffect(QWidget* view, const QRect& itemFrame)
{
    if (!view || !view->isVisible() || itemFrame.isEmpty() || !Pref::ShowPoofEffect.Get())
        return;
    AnimatePoof(view->mapToGlobal(itemFrame.center()));
}

StFilePosition::StFilePosition(LStream& stream, SInt64 newPosition)
    : mStream(stream)
    , mSaved(stream.GetMarker())
{
    if (newPosition != -1)
        mStream.SetMarker(newPosition, streamFrom_Start);
}

StFilePosition::~StFilePosition()
{
    try {
        mStream.SetMarker(mSaved, streamFrom_Start);
    } catch (...) {
        // A stream that cannot seek back has nothing left to restore.
    }
}

namespace {

void DrawMediaGroup(QPainter& painter, const QRect& frame, SInt16 kind, AMediaGroupPane& pane, bool primary)
{
    constexpr SInt16 kNoFrameMode = 1;
    if (pane.GetBackgroundMode() == kNoFrameMode)
        return;
    QColor light, dark;
    pane.GetFrameColors(light, dark);
    if (light == dark)
        return;
    if (kind == -10)
        pane.DrawOwnFrame(painter, frame);
    else if (kind == -11 && Pref::MediaPatternID.Get() > 1)
        pane.DrawPatternFrame(painter, frame);
    else
        pane.DrawThemeGroup(painter, frame, primary);
}

} // namespace

void DrawMediaPrimaryGroup(QPainter& painter, const QRect& frame, SInt16 kind, AMediaGroupPane& pane)
{
    DrawMediaGroup(painter, frame, kind, pane, true);
}

void DrawMediaSecondaryGroup(QPainter& painter, const QRect& frame, SInt16 kind, AMediaGroupPane& pane)
{
    DrawMediaGroup(painter, frame, kind, pane, false);
}

#include "CFloater.h"

#include "Preferences.h"

#include <QGuiApplication>
#include <QPainter>
#include <QVariantAnimation>
#include <QScreen>

namespace {
QScreen* ScreenUnder(const QWidget* shell)
{
    QScreen* screen = shell ? QGuiApplication::screenAt(shell->frameGeometry().center()) : nullptr;
    return screen ? screen : QGuiApplication::primaryScreen();
}

Point ContentTopLeft(const LWindow* window)
{
    QRect bounds;
    window->GetGlobalBounds(bounds);
    return MakePoint(bounds.top(), bounds.left());
}
} // namespace

CFloater::CFloater(const SPaneInfo& info, UInt32 attributes, const QString& title, LCommander* superCommander)
    : CParentWindow(info, attributes, title, superCommander)
{
    InitFloater();
}

CFloater::CFloater(const LLayoutData& data)
    : CParentWindow(data)
{
    InitFloater();
}

void CFloater::InitFloater()
{
    // A palette floats above the documents and leaves with the program.
    if (!HasAttribute(windAttr_Floating) || !HasAttribute(windAttr_HideOnSuspend))
        SetAttribute(windAttr_Floating | windAttr_HideOnSuspend);
}

void CFloater::Show()
{
    ConstrainToScreen(nullptr);
    CParentWindow::Show();
    ConstrainToScreen(nullptr); // the frame's margins are known once it is shown
}

void CFloater::Hide()
{
    if (mPositionStore)
        *mPositionStore = GetGlobalPosition();
    FadeOutCopy(GetShell());
    CParentWindow::Hide();
}

namespace {
// A picture of a window that fades out and then deletes itself. It is a
// tool-tip kind of window: it never takes the activation or the focus.
class FadingCopy : public QWidget {
public:
    explicit FadingCopy(QWidget* shell)
        : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint)
        , mPicture(shell->grab())
    {
        setObjectName(QStringLiteral("orvexFloaterFade"));
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_TranslucentBackground);
        setAttribute(Qt::WA_ShowWithoutActivating);
        setAttribute(Qt::WA_DeleteOnClose);
        setGeometry(shell->geometry());
        auto* fade = new QVariantAnimation(this);
        fade->setDuration(kFloaterFadeMilliseconds);
        fade->setStartValue(1.0);
        fade->setEndValue(0.0);
        QObject::connect(fade, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
            mOpacity = value.toDouble();
            update();
        });
        QObject::connect(fade, &QVariantAnimation::finished, this, &QWidget::close);
        fade->start();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.fillRect(rect(), Qt::transparent);
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        painter.setOpacity(mOpacity);
        painter.drawPixmap(rect(), mPicture);
    }

private:
    QPixmap mPicture;
    double mOpacity = 1.0;
};
} // namespace

void FadeOutCopy(QWidget* shell)
{
    // The window goes at once; a picture of it fades where it was.
    if (!shell || !shell->isVisible() || kFloaterFadeMilliseconds <= 0)
        return;
    (new FadingCopy(shell))->show();
}

bool CFloater::CalcStandardBounds(QRect& outStdBounds) const
{
    QScreen* screen = ScreenUnder(GetShell());
    QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    QRect current;
    GetGlobalBounds(current);
    QRect standard = current;
    standard.setWidth(std::min(standard.width(), available.width()));
    standard.setHeight(std::min(standard.height(), available.height()));
    standard.moveLeft(std::clamp(standard.left(), available.left(), available.left() + available.width() - standard.width()));
    standard.moveTop(std::clamp(standard.top(), available.top(), available.top() + available.height() - standard.height()));
    outStdBounds = standard;
    return outStdBounds == current;
}

void CFloater::SetPositionStore(Point* store, SInt32 refCon)
{
    mPositionStore = store;
    mPositionRefCon = refCon;
}

Point CFloater::GetGlobalPosition() const
{
    return ContentTopLeft(this);
}

void CFloater::ConstrainToScreen(QScreen* screen)
{
    ConstrainWindowToScreen(GetShell(), screen);
}

void CFloater::PositionRelativeTo(const LWindow* other, SInt16 kind)
{
    if (!other || !other->GetShell() || !GetShell())
        return;
    QRect them = other->GetShell()->frameGeometry();
    QRect me = GetShell()->frameGeometry();
    QPoint place = me.topLeft();
    switch (kind) {
    case floaterPos_RightOf:
        place = QPoint(them.right() + 1, them.top());
        break;
    case floaterPos_LeftOf:
        place = QPoint(them.left() - me.width(), them.top());
        break;
    case floaterPos_Below:
        place = QPoint(them.left(), them.bottom() + 1);
        break;
    case floaterPos_Above:
        place = QPoint(them.left(), them.top() - me.height());
        break;
    case floaterPos_Centered:
        place = QPoint(them.left() + (them.width() - me.width()) / 2, them.top() + (them.height() - me.height()) / 2);
        break;
    case floaterPos_InsideRight:
        place = QPoint(them.right() + 1 - me.width(), them.top());
        break;
    default:
        return;
    }
    // A palette above or below a window that fills the screen that way goes
    // to the other side, else into the window's lower part: never over its
    // menus and tool bar.
    QScreen* screen = ScreenUnder(other->GetShell());
    if (screen && (kind == floaterPos_Above || kind == floaterPos_Below)) {
        const QRect available = screen->availableGeometry();
        const QPoint above(them.left(), them.top() - me.height());
        const QPoint below(them.left(), them.bottom() + 1);
        auto fits = [&](QPoint at) { return available.contains(QRect(at, me.size())); };
        if (!fits(place))
            place = fits(above) ? above : fits(below) ? below : QPoint(them.left(), them.bottom() + 1 - me.height());
    }
    GetShell()->move(place);
    ConstrainToScreen(screen);
}

CTaskWindow::CTaskWindow(const SPaneInfo& info, UInt32 attributes, const QString& title, LCommander* superCommander)
    : CFloater(info, attributes, title, superCommander)
{
}

CTaskWindow::CTaskWindow(const LLayoutData& data)
    : CFloater(data)
{
}

CTaskWindow::~CTaskWindow()
{
    SavePosition();
}

CTaskWindow::StopLatestTaskFunc& CTaskWindow::sStopLatestTask()
{
    static StopLatestTaskFunc stop;
    return stop;
}

void CTaskWindow::SavePosition() const
{
    SaveWindowPosition(this, kPositionKey);
}

void CTaskWindow::Hide()
{
    SavePosition();
    CFloater::Hide();
}

bool CTaskWindow::HandleKeyPress(const EventRecord& event)
{
    if ((event.modifiers & cmdKey) && EventCharCode(event) == '.') {
        if (sStopLatestTask())
            sStopLatestTask()();
        return true;
    }
    return CFloater::HandleKeyPress(event);
}

void SaveWindowPosition(const LWindow* window, const QString& key)
{
    if (!window || !window->GetShell())
        return;
    SetPrefPoint(key, ContentTopLeft(window));
}

bool RestoreWindowPosition(LWindow* window, const QString& key)
{
    if (!window)
        return false;
    Point where = GetPrefPoint(key);
    if (!QGuiApplication::screenAt(QPoint(where.h, where.v)))
        return false;
    window->MoveWindowTo(where.h, where.v);
    return true;
}

void ConstrainWindowToScreen(QWidget* shell, QScreen* screen)
{
    // A full-screen or maximized window is where the screen puts it.
    if (!shell || (shell->windowState() & (Qt::WindowFullScreen | Qt::WindowMaximized)))
        return;
    if (!screen)
        screen = ScreenUnder(shell);
    if (!screen)
        return;
    MoveWithinArea(shell, screen->availableGeometry());
}

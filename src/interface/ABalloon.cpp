#include "ABalloon.h"

#include "BundleStrings.h"
#include "LStdControls.h"
#include "LWindow.h"
#include "LocalizedStrings.h"
#include "Preferences.h"

#include <QApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QToolTip>

namespace {
constexpr int kMillisecondsPerTagTick = 17;

struct HelpTagState {
    bool shown = true;
    bool handlerInstalled = false;
    SInt32 delayTicks = 20;
    bool shortDelay = false;
    bool controlDown = false;
    ABalloonHelperTag* helper = nullptr;
};

HelpTagState& State()
{
    static HelpTagState state;
    return state;
}

LWindow* WindowOf(QWidget* widget)
{
    for (QWidget* w = widget; w; w = w->parentWidget()) {
        if (auto* window = dynamic_cast<LWindow*>(w))
            return window;
    }
    return nullptr;
}

bool IsUnder(const QWidget* widget, const QWidget* ancestor)
{
    for (const QWidget* w = widget; w; w = w->parentWidget()) {
        if (w == ancestor)
            return true;
    }
    return false;
}
} // namespace

ABalloonBase::ABalloonBase()
    : LAttachment(msg_Nothing)
{
    GetBalloonHelper()->AddBalloon(this);
}

ABalloonBase::~ABalloonBase()
{
    if (ABalloonHelperTag* helper = State().helper)
        helper->RemoveBalloon(this);
}

LPane* ABalloonBase::GetHostPane() const
{
    return dynamic_cast<LPane*>(GetOwnerHost());
}

void ABalloonBase::SetOwnerHost(LAttachable* host)
{
    LAttachment::SetOwnerHost(host);
    // The tag's delay runs from the mouse's last move over the pane.
    if (LPane* pane = GetHostPane())
        pane->setMouseTracking(true);
}

ABalloon::ABalloon(SInt16 stringListID, SInt16 disabledOff, SInt16 enabledOff, SInt16 disabledOn, SInt16 enabledOn)
    : mListID(stringListID)
    , mIndices { disabledOff, enabledOff, disabledOn, enabledOn }
{
}

ABalloon::ABalloon(const LLayoutData& data)
    : mListID(SInt16(data.Int("stringList")))
    , mIndices {}
{
    QList<SInt32> indices = data.Ints("strings", 4);
    for (int i = 0; i < 4; ++i)
        mIndices[i] = SInt16(indices[i]);
}

QString ABalloon::GetHelpString(LPane* pane)
{
    if (!pane)
        return {};
    int state = (pane->IsEnabled() ? 1 : 0) + (pane->GetValue() != 0 ? 2 : 0);
    SInt16 index = mIndices[state];
    if (index <= 0)
        return {};
    QString key = LocalizedStringKey(mListID, index);
    return BundleHasLocalizedString(key) ? BundleLocalizedString(key) : QString();
}

AAutoBalloon::AAutoBalloon(SInt16 stringListID, SInt16 disabledOff, SInt16 enabledOff, SInt16 disabledOn, SInt16 enabledOn)
    : ABalloon(stringListID, disabledOff, enabledOff, disabledOn, enabledOn)
{
    mAlwaysShown = true;
}

AAutoBalloon::AAutoBalloon(const LLayoutData& data)
    : ABalloon(data)
{
    mAlwaysShown = true;
}

ALocalizedTag::ALocalizedTag(const QString& key)
    : mKey(key)
{
}

ALocalizedTag::ALocalizedTag(const LLayoutData& data)
    : mKey(data.String("key"))
{
}

QString ALocalizedTag::Lookup(LPane* pane, const QString& suffix) const
{
    if (!pane || mKey.isEmpty())
        return {};
    const QString state = pane->IsEnabled() ? QStringLiteral(" enabled") : QStringLiteral(" disabled");
    const QString value = pane->GetValue() != 0 ? QStringLiteral(" on") : QStringLiteral(" off");
    for (const QString& key : { mKey + state + value, mKey + state, mKey + value, mKey }) {
        QString text = CopyHelpTagString(key + suffix);
        if (!text.isNull())
            return text;
    }
    return {};
}

QString ALocalizedTag::CopyShortText(LPane* pane)
{
    return Lookup(pane, QString());
}

QString ALocalizedTag::CopyLongText(LPane* pane)
{
    return Lookup(pane, QStringLiteral(" long"));
}

void ABalloonHelper::AddBalloon(ABalloonBase* balloon)
{
    mBalloons.push_back(balloon);
}

void ABalloonHelper::RemoveBalloon(ABalloonBase* balloon)
{
    mBalloons.erase(std::remove(mBalloons.begin(), mBalloons.end(), balloon), mBalloons.end());
}

ABalloonHelperTag::ABalloonHelperTag()
{
    mDelay.setSingleShot(true);
    QObject::connect(&mDelay, &QTimer::timeout, this, [this] { ShowTagAt(QCursor::pos()); });
    if (qApp)
        qApp->installEventFilter(this);
    if (State().handlerInstalled)
        InstallAppHandler();
}

ABalloonHelperTag::~ABalloonHelperTag()
{
    RemoveAppHandler();
    if (qApp)
        qApp->removeEventFilter(this);
}

void ABalloonHelperTag::AddBalloon(ABalloonBase* balloon)
{
    ABalloonHelper::AddBalloon(balloon);
}

void ABalloonHelperTag::RemoveBalloon(ABalloonBase* balloon)
{
    ABalloonHelper::RemoveBalloon(balloon);
    if (mBalloons.empty() && State().helper == this) {
        State().helper = nullptr;
        deleteLater(); // the last tag went: so does the engine
    }
}

void ABalloonHelperTag::InstallAppHandler()
{
    mHandlerInstalled = true;
}

void ABalloonHelperTag::RemoveAppHandler()
{
    mHandlerInstalled = false;
}

bool ABalloonHelperTag::FindContent(LWindow* window, QPoint global, QString& outShort, QString& outLong, QRect& outHotRect) const
{
    outShort.clear();
    outLong.clear();
    if (!window || !window->IsActiveWindow() || !window->IsEnabled())
        return false;
    ABalloonBase* found = nullptr;
    QRect foundRect;
    for (ABalloonBase* balloon : mBalloons) {
        LPane* pane = balloon->GetHostPane();
        if (!pane || !pane->IsVisible() || pane->GetContainingWindow() != window)
            continue;
        QRect hot = HelpTagHotRect(pane);
        if (!hot.contains(global))
            continue;
        // A tag inside the one found so far (a nested pane's) wins.
        if (!found || foundRect.contains(hot)) {
            found = balloon;
            foundRect = hot;
        }
    }
    if (!found)
        return false;
    bool served = State().shown || found->IsAlwaysShown() || (mHandlerInstalled && State().controlDown);
    if (!served)
        return false;
    LPane* pane = found->GetHostPane();
    QString shortText = found->CopyShortText(pane);
    if (shortText.isNull()) {
        shortText = found->GetHelpString(pane);
        if (shortText.isEmpty())
            return false;
    }
    QString longText = found->CopyLongText(pane);
    if (longText.isNull())
        longText = found->GetLongHelpString(pane);
    outShort = shortText;
    outLong = longText;
    outHotRect = foundRect;
    return true;
}

bool ABalloonHelperTag::ShowTagAt(QPoint global)
{
    QWidget* under = QApplication::widgetAt(global);
    LWindow* window = WindowOf(under);
    QString shortText, longText;
    QRect hot;
    if (!FindContent(window, global, shortText, longText, hot))
        return false;
    // The expanded tag while the command key is held, as the desktop's tags did.
    bool expanded = (QGuiApplication::queryKeyboardModifiers() & Qt::ControlModifier) && !longText.isEmpty();
    QToolTip::showText(global, expanded ? longText : shortText, window, window->rect());
    return true;
}

bool ABalloonHelperTag::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_Meta || key->isAutoRepeat())
            break;
        bool down = event->type() == QEvent::KeyPress;
        if (State().controlDown == down)
            break;
        State().controlDown = down;
        // Control held: tags come at once; let go: the stored delay again.
        if (mHandlerInstalled) {
            if (down && !State().shortDelay)
                State().shortDelay = true;
            else if (!down && State().shortDelay)
                State().shortDelay = false;
        }
        break; // left for others: the event is never taken
    }
    case QEvent::Enter:
    case QEvent::MouseMove: {
        if (!watched->isWidgetType() || mBalloons.empty())
            break;
        auto* widget = static_cast<QWidget*>(watched);
        for (ABalloonBase* balloon : mBalloons) {
            LPane* pane = balloon->GetHostPane();
            if (pane && IsUnder(widget, pane)) {
                widget->setMouseTracking(true); // children of a tagged pane report moves too
                mDelay.start(GetHelpTagDelayMilliseconds());
                break;
            }
        }
        break;
    }
    case QEvent::Leave:
        mDelay.stop();
        break;
    case QEvent::ToolTip:
        // The tags' own delay decides; Qt's tip for a tagged pane would be a second one.
        if (watched->isWidgetType()) {
            auto* widget = static_cast<QWidget*>(watched);
            for (ABalloonBase* balloon : mBalloons) {
                if (balloon->GetHostPane() && IsUnder(widget, balloon->GetHostPane()))
                    return true;
            }
        }
        break;
    default:
        break;
    }
    return false;
}

QRect HelpTagHotRect(LPane* pane)
{
    if (!pane || !pane->isVisible())
        return {};
    QRect exposed = pane->visibleRegion().boundingRect();
    if (exposed.isEmpty())
        return {};
    if (dynamic_cast<LCheckBoxGroupBox*>(pane) || dynamic_cast<LPopupGroupBox*>(pane)) {
        QFontMetrics metrics(pane->font());
        QRect title(10, 0, pane->width() - 20, metrics.ascent() + metrics.descent());
        exposed &= title;
    }
    return QRect(pane->mapToGlobal(exposed.topLeft()), exposed.size());
}

void EnableHelpTags()
{
    State().shown = true;
}

void DisableHelpTags()
{
    State().shown = false;
}

bool AreHelpTagsEnabled()
{
    return State().shown;
}

void ApplyShowToolTipsPreference()
{
    if (GetPrefBoolean(QStringLiteral("ShowToolTips")))
        EnableHelpTags();
    else
        DisableHelpTags();
}

void SetHelpTagDelay(SInt32 ticks)
{
    State().delayTicks = ticks;
    State().shortDelay = false;
}

int GetHelpTagDelayMilliseconds()
{
    return State().shortDelay ? 1 : State().delayTicks * kMillisecondsPerTagTick;
}

void InstallHelpTagHandler()
{
    if (State().handlerInstalled)
        return;
    State().handlerInstalled = true;
    if (State().helper)
        State().helper->InstallAppHandler();
}

bool IsControlKeyDownForHelpTags()
{
    return State().controlDown;
}

QString CopyHelpTagString(const QString& key)
{
    if (key.isEmpty() || !BundleHasLocalizedString(key))
        return {};
    QString text = BundleLocalizedString(key);
    return text == key ? QString() : text;
}

ABalloonHelperTag* GetBalloonHelper()
{
    if (!State().helper)
        State().helper = new ABalloonHelperTag;
    return State().helper;
}

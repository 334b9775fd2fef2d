#include "LControl.h"

#include "LWindow.h"

#include "BundleStrings.h"

#include "UReportErrors.h"

#include <QAbstractButton>
#include <QMouseEvent>
#include <algorithm>

LControl::LControl(const SPaneInfo& info, MessageT valueMessage, SInt32 value, SInt32 minValue, SInt32 maxValue)
    : LPane(info)
    , mValueMessage(valueMessage)
    , mValue(value)
    , mMinValue(minValue)
    , mMaxValue(maxValue)
{
}

LControl::LControl(const LLayoutData& data)
    : LPane(data)
    , mValueMessage(MessageT(data.Code("message", 0)))
    , mValue(data.Int("value", 0))
    , mMinValue(data.Int("min", 0))
    , mMaxValue(data.Int("max", 0))
{
    // Control titles from layouts are keys into the strings table.
    if (data.Has("title"))
        LPane::SetCFDescriptor(BundleLocalizedString(data.String("title")));
}

void LControl::SetValue(SInt32 value)
{
    if (mMaxValue >= mMinValue)
        value = std::clamp(value, mMinValue, mMaxValue);
    if (value == mValue)
        return;
    mValue = value;
    ValueChanged();
    BroadcastValueMessage();
}

void LControl::SetValueQuietly(SInt32 value)
{
    mValue = value;
}

void LControl::SetMinValue(SInt32 value)
{
    mMinValue = value;
    if (mValue < value)
        SetValue(value);
    ValueChanged();
}

void LControl::SetMaxValue(SInt32 value)
{
    mMaxValue = value;
    if (mValue > value)
        SetValue(value);
    ValueChanged();
}

void LControl::BroadcastValueMessage()
{
    if (mValueMessage != msg_Nothing)
        BroadcastMessage(mValueMessage, &mValue);
}

void LControl::SimulateHotSpotClick(SInt16 part)
{
    if (!IsEnabled())
        return;
    SetHiliteState(true);
    SetHiliteState(false);
    HotSpotResult(part);
}

void LControl::HotSpotResult(SInt16)
{
    BroadcastValueMessage();
}

void LControlPane::Embed(QWidget* widget)
{
    mWidget = widget;
    if (!accessibleName().isEmpty())
        widget->setAccessibleName(accessibleName());
    widget->setParent(this);
    widget->setGeometry(rect());
    widget->show();
    widget->installEventFilter(this);
    setSizePolicy(widget->sizePolicy());
    // Buttons are reached by Tab but a click leaves the focus (and the target) where it is.
    if (qobject_cast<QAbstractButton*>(widget))
        widget->setFocusPolicy(Qt::TabFocus);
    if (widget->focusPolicy() != Qt::NoFocus) {
        setFocusProxy(widget);
        setFocusPolicy(widget->focusPolicy());
    }
    ShowText(LPane::GetCFDescriptor());
}

void LControlPane::EmbedToggle(QAbstractButton* button, SInt16 part)
{
    Embed(button);
    ValueChanged();
    QObject::connect(button, &QAbstractButton::clicked, [this, button, part] {
        button->setChecked(mValue != 0); // undo Qt's own toggle
        RunReportingErrors([this, part] { HotSpotResult(part); });
    });
}

void LControlPane::ShowText(const QString& text)
{
    auto* button = qobject_cast<QAbstractButton*>(mWidget);
    if (!button)
        return;
    button->setText(QString(text).replace(QLatin1Char('&'), QStringLiteral("&&"))); // an "&" of the text is itself
    // A retitled button of a window on the screen takes its mnemonic again.
    if (LWindow* window = GetContainingWindow(); window && window->IsVisible())
        window->GiveButtonsMnemonics();
}

void LControlPane::SetCFDescriptor(const QString& text)
{
    // A face fills the pane and redraws itself for its new text.
    if (mWidget)
        StoreCFDescriptor(text);
    else
        LPane::SetCFDescriptor(text);
    ShowText(text);
    updateGeometry(); // a layout sizes the pane to its new text
}

QSize LControlPane::sizeHint() const
{
    if (!mWidget)
        return LControl::sizeHint();
    const QSize face = mWidget->sizeHint();
    const QSize declared = GetDeclaredSize();
    return QSize(std::max(face.width(), declared.width()), hasHeightForWidth() ? face.height() : std::max(face.height(), declared.height()));
}

QSize LControlPane::minimumSizeHint() const
{
    return mWidget ? mWidget->minimumSizeHint() : LControl::minimumSizeHint();
}

bool LControlPane::hasHeightForWidth() const
{
    return mWidget && mWidget->hasHeightForWidth();
}

int LControlPane::heightForWidth(int width) const
{
    return mWidget ? mWidget->heightForWidth(width) : LControl::heightForWidth(width);
}

QString LControlPane::GetCFDescriptor() const
{
    return LPane::GetCFDescriptor();
}

void LControlPane::resizeEvent(QResizeEvent* event)
{
    LControl::resizeEvent(event);
    if (mWidget)
        mWidget->setGeometry(rect());
}

bool LControlPane::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == mWidget && (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick)) {
        SMouseDownEvent down = MouseDownFromQt(*static_cast<QMouseEvent*>(event));
        if (!ExecuteAttachments(msg_Click, &down))
            return true;
    }
    // A check box or radio button chosen with Alt and its letter takes the keyboard,
    // as a caption's field does (a push button leaves it, Return stays the default's).
    if (watched == mWidget && event->type() == QEvent::Shortcut) {
        auto* button = qobject_cast<QAbstractButton*>(mWidget);
        if (button && button->isCheckable() && button->focusPolicy() != Qt::NoFocus)
            button->setFocus(Qt::ShortcutFocusReason);
    }
    return LControl::eventFilter(watched, event);
}

#pragma once

#include "LBroadcaster.h"
#include "LPane.h"

// Messages a dialog's buttons send by default.
inline constexpr MessageT msg_OK = 900;
inline constexpr MessageT msg_Cancel = 901;

// Control parts the framework reports.
enum : SInt16 { kControlNoPart = 0, kControlButtonPart = 10, kControlCheckBoxPart = 11, kControlIndicatorPart = 129 };

// A pane with a value between a minimum and a maximum that broadcasts its value
// message (with a pointer to the value) whenever the value changes or it is clicked.
// Layout fields: "message", "value", "min", "max", "title" (a key into the strings table).
class LControl : public LPane, public LBroadcaster {
public:
    LControl(const SPaneInfo& info, MessageT valueMessage, SInt32 value = 0, SInt32 minValue = 0, SInt32 maxValue = 0);
    explicit LControl(const LLayoutData& data);

    MessageT GetValueMessage() const { return mValueMessage; }
    void SetValueMessage(MessageT message) { mValueMessage = message; }
    SInt32 GetValue() const override { return mValue; }
    void SetValue(SInt32 value) override;
    SInt32 GetMinValue() const override { return mMinValue; }
    void SetMinValue(SInt32 value) override;
    SInt32 GetMaxValue() const override { return mMaxValue; }
    void SetMaxValue(SInt32 value) override;

    virtual void BroadcastValueMessage();
    // As if the user clicked the given part: the control's hilite flashes and its
    // hot-spot result runs (a button broadcasts, a check box toggles).
    virtual void SimulateHotSpotClick(SInt16 part = kControlButtonPart);
    virtual void HotSpotResult(SInt16 part);
    virtual void SetHiliteState(bool hilite) { mHilited = hilite; }
    bool GetHiliteState() const { return mHilited; }

protected:
    // The value changed (already clamped): show it.
    virtual void ValueChanged() {}
    void SetValueQuietly(SInt32 value);

    MessageT mValueMessage = 0;
    SInt32 mValue = 0;
    SInt32 mMinValue = 0;
    SInt32 mMaxValue = 0;
    bool mHilited = false;
};

// A control whose face is a Qt widget filling the pane; text, enabled state and
// keyboard focus go to that widget.
class LControlPane : public LControl {
public:
    using LControl::LControl;

    QWidget* GetControlWidget() const { return mWidget; }
    void SetCFDescriptor(const QString& text) override;
    QString GetCFDescriptor() const override;

    // In a box or grid layout the face's own needs count (a wrapped text's height
    // for a width), but never less than the frame the pane was made with.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;

protected:
    // Takes the widget that draws and tracks the control.
    void Embed(QWidget* widget);
    // A check box or radio face: the user's click goes through HotSpotResult (with
    // `part`) like a simulated one, and the value alone decides what the face shows.
    void EmbedToggle(class QAbstractButton* button, SInt16 part);
    // Shows the descriptor; a button face shows it as its text.
    virtual void ShowText(const QString& text);
    void resizeEvent(QResizeEvent* event) override;
    // Clicks on the face run the click attachments first; one may stop the click.
    bool eventFilter(QObject* watched, QEvent* event) override;

    QWidget* mWidget = nullptr;
    QString mText;
};

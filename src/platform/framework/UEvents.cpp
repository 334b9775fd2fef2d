#include "UEvents.h"

#include <QEventLoop>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>

UInt16 ModifiersFromQt(int qtModifiers)
{
    UInt16 bits = 0;
    if (qtModifiers & Qt::ControlModifier)
        bits |= cmdKey;
    if (qtModifiers & Qt::ShiftModifier)
        bits |= shiftKey;
    if (qtModifiers & Qt::AltModifier)
        bits |= optionKey;
    if (qtModifiers & Qt::MetaModifier)
        bits |= controlKey;
    return bits;
}

int QtModifiersFrom(UInt16 modifiers)
{
    int qt = 0;
    if (modifiers & cmdKey)
        qt |= Qt::ControlModifier;
    if (modifiers & shiftKey)
        qt |= Qt::ShiftModifier;
    if (modifiers & optionKey)
        qt |= Qt::AltModifier;
    if (modifiers & controlKey)
        qt |= Qt::MetaModifier;
    return qt;
}

UInt16 CurrentModifiers()
{
    UInt16 bits = ModifiersFromQt(int(QGuiApplication::queryKeyboardModifiers()));
    if (QGuiApplication::mouseButtons() != Qt::NoButton)
        bits |= btnState;
    return bits;
}

namespace {
struct KeyMap {
    int qtKey;
    UInt8 charCode;
    UInt8 keyCode;
};

constexpr KeyMap kKeys[] = {
    { Qt::Key_Return, char_Return, vkey_Return },
    { Qt::Key_Enter, char_Enter, vkey_Enter },
    { Qt::Key_Tab, char_Tab, vkey_Tab },
    { Qt::Key_Backtab, char_Tab, vkey_Tab },
    { Qt::Key_Escape, char_Escape, vkey_Escape },
    { Qt::Key_Backspace, char_Backspace, vkey_Backspace },
    { Qt::Key_Clear, char_Clear, vkey_Clear },
    { Qt::Key_Delete, char_FwdDelete, vkey_FwdDelete },
    { Qt::Key_Home, char_Home, vkey_Home },
    { Qt::Key_End, char_End, vkey_End },
    { Qt::Key_PageUp, char_PageUp, vkey_PageUp },
    { Qt::Key_PageDown, char_PageDown, vkey_PageDown },
    { Qt::Key_Left, char_LeftArrow, vkey_LeftArrow },
    { Qt::Key_Right, char_RightArrow, vkey_RightArrow },
    { Qt::Key_Up, char_UpArrow, vkey_UpArrow },
    { Qt::Key_Down, char_DownArrow, vkey_DownArrow },
    { Qt::Key_F1, char_FunctionKey, vkey_F1 },
    { Qt::Key_F2, char_FunctionKey, vkey_F2 },
};
} // namespace

EventRecord EventRecordFromKeyEvent(const QKeyEvent& event)
{
    EventRecord record;
    record.what = event.isAutoRepeat() ? autoKey : (event.type() == QEvent::KeyRelease ? keyUp : keyDown);
    record.when = TickCount();
    record.modifiers = ModifiersFromQt(int(event.modifiers()));
    UInt8 charCode = 0;
    UInt8 keyCode = 0;
    for (const KeyMap& key : kKeys) {
        if (key.qtKey == event.key()) {
            charCode = key.charCode;
            keyCode = key.keyCode;
            break;
        }
    }
    if (charCode == 0) {
        const QString text = event.text();
        if (!text.isEmpty() && text.at(0).unicode() < 0x80 && text.at(0).unicode() >= 0x20)
            charCode = UInt8(text.at(0).unicode());
        else if (event.key() >= Qt::Key_Space && event.key() <= Qt::Key_AsciiTilde) {
            // With the command key held Qt gives no text; the key itself names the character.
            int key = event.key();
            if (key >= Qt::Key_A && key <= Qt::Key_Z && !(event.modifiers() & Qt::ShiftModifier))
                key += 'a' - 'A';
            charCode = UInt8(key);
        }
    }
    record.message = UInt32(charCode) | (UInt32(keyCode) << 8);
    return record;
}

EventRecord EventRecordFromMouseEvent(const QMouseEvent& event)
{
    EventRecord record;
    record.what = event.type() == QEvent::MouseButtonRelease ? mouseUp : mouseDown;
    record.when = TickCount();
    record.where = event.globalPosition().toPoint();
    record.modifiers = ModifiersFromQt(int(event.modifiers()));
    if (event.button() == Qt::RightButton)
        record.modifiers |= controlKey; // a right click is the contextual click
    return record;
}

namespace {
// Takes the mouse's moves and its release from everyone while a drag is tracked.
class MouseTrackFilter : public QObject {
public:
    MouseTrackFilter(const std::function<void(QPoint)>& moved, QEventLoop& loop)
        : mMoved(moved)
        , mLoop(loop)
    {
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::MouseMove) {
            mMoved(static_cast<QMouseEvent*>(event)->globalPosition().toPoint());
            return true;
        }
        if (event->type() == QEvent::MouseButtonRelease) {
            mLoop.quit();
            return true;
        }
        return false;
    }

private:
    const std::function<void(QPoint)>& mMoved;
    QEventLoop& mLoop;
};
} // namespace

void TrackMouseUntilRelease(const std::function<void(QPoint globalPoint)>& moved)
{
    if (QGuiApplication::mouseButtons() == Qt::NoButton)
        return;
    QEventLoop loop;
    MouseTrackFilter filter(moved, loop);
    QCoreApplication::instance()->installEventFilter(&filter);
    loop.exec();
    QCoreApplication::instance()->removeEventFilter(&filter);
}

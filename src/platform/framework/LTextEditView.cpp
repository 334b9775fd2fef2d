#include "LTextEditView.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QPlainTextEdit>

LTextEditView::LTextEditView(const LLayoutData& data)
    : LView(data)
{
    Init(data.String("text"), data.Bool("readOnly", false));
}

LTextEditView::LTextEditView(const SPaneInfo& info, const QString& text)
    : LView(info)
{
    Init(text, false);
}

void LTextEditView::Init(const QString& text, bool readOnly)
{
    mEditor = new QPlainTextEdit(this);
    mEditor->setPlainText(text);
    mEditor->setReadOnly(readOnly);
    mEditor->setGeometry(rect());
    mEditor->show();
    setFocusProxy(mEditor);
    setFocusPolicy(Qt::StrongFocus);
}

QString LTextEditView::GetCFDescriptor() const
{
    return mEditor->toPlainText();
}

void LTextEditView::SetCFDescriptor(const QString& text)
{
    mEditor->setPlainText(text);
}

void LTextEditView::resizeEvent(QResizeEvent* event)
{
    LView::resizeEvent(event);
    mEditor->setGeometry(rect());
}

bool LTextEditView::ObeyCommand(CommandT command, void* ioParam)
{
    switch (command) {
    case cmd_Cut: mEditor->cut(); return true;
    case cmd_Copy: mEditor->copy(); return true;
    case cmd_Paste: mEditor->paste(); return true;
    case cmd_Clear: mEditor->textCursor().removeSelectedText(); return true;
    case cmd_SelectAll: mEditor->selectAll(); return true;
    default: return LCommander::ObeyCommand(command, ioParam);
    }
}

void LTextEditView::FindCommandStatus(CommandT command, Boolean& outEnabled, Boolean& outUsesMark, UInt16& outMark, Str255& outName)
{
    bool hasSelection = mEditor->textCursor().hasSelection();
    bool editable = !mEditor->isReadOnly();
    switch (command) {
    case cmd_Cut:
    case cmd_Clear: outEnabled = hasSelection && editable; return;
    case cmd_Copy: outEnabled = hasSelection; return;
    case cmd_Paste: {
        const QMimeData* data = QApplication::clipboard()->mimeData();
        outEnabled = editable && data && data->hasText();
        return;
    }
    case cmd_SelectAll: outEnabled = !mEditor->document()->isEmpty(); return;
    default: LCommander::FindCommandStatus(command, outEnabled, outUsesMark, outMark, outName);
    }
}

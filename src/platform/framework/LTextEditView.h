#pragma once

#include "LCommander.h"
#include "LView.h"

class QPlainTextEdit;

// A multi-line text view ('txtv'): "text" (not localized), "readOnly". It is a
// commander: Cut, Copy, Paste, Clear and Select All work on its text.
class LTextEditView : public LView, public LCommander {
public:
    explicit LTextEditView(const LLayoutData& data);
    LTextEditView(const SPaneInfo& info, const QString& text);

    QString GetCFDescriptor() const override;
    void SetCFDescriptor(const QString& text) override;
    QPlainTextEdit* GetEditor() const { return mEditor; }

    bool ObeyCommand(CommandT command, void* ioParam) override;
    void FindCommandStatus(CommandT command, Boolean& outEnabled, Boolean& outUsesMark, UInt16& outMark, Str255& outName) override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void Init(const QString& text, bool readOnly);
    QPlainTextEdit* mEditor = nullptr;
};

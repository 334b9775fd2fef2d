#pragma once

#include "CFloater.h"

class LPane;

// The media window's caption floater (layout 922, 'MCfl'): the shown item's name
// as its title and its IPTC caption as its text, sized to the text.
class CMediaCaptionFloater : public CFloater {
public:
    static constexpr ClassIDT class_ID = 'MCfl';
    static constexpr SInt32 kWidth = 310;
    static inline const QString kVisibleKey = QStringLiteral("MediaInfoVisible");

    explicit CMediaCaptionFloater(const LLayoutData& data);
    ~CMediaCaptionFloater() override;

    // Message 3023 with the item ('nilP' without one).
    void ListenToMessage(MessageT message, void* ioParam) override;
    QString GetCaptionText() const;

protected:
    void FinishCreateSelf() override;

private:
    LPane* mCaptionText = nullptr;
};

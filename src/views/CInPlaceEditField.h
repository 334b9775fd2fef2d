#pragma once

#include "LInPlaceEditField.h"

#include <QString>

// The index view's rename field. When the edit ends it clears the ring it drew
// around itself and broadcasts its message (3021) with its text (a QString); an
// edit ended with Escape broadcasts the text it started with.
class CInPlaceEditField : public LInPlaceEditField {
public:
    CInPlaceEditField(const SPaneInfo& info, const QString& text, ResIDT textTraitsID, int maxChars, LCommander* superCommander,
        MessageT message);

    bool HandleKeyPress(const EventRecord& event) override;
    QString GetText() const;

protected:
    void DoneEditing() override;

private:
    QString mOriginal;
    MessageT mMessage;
};

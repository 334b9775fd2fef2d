#pragma once

#include "LCommander.h"
#include "LStdControls.h"

// An edit field laid over other content for a short edit (renaming in place). It
// is a commander: made the target it takes the keyboard; Return, Enter and Escape
// end the edit, and so does losing the target. Other keys it does not take (Tab)
// go up to its supercommander. When the edit ends, DoneEditing runs once (by
// default it hides the field).
class LInPlaceEditField : public LEditText, public LCommander {
public:
    LInPlaceEditField(const SPaneInfo& info, const QString& text, ResIDT textTraitsID, int maxChars, LCommander* superCommander);

    bool IsEditing() const { return mEditing; }
    void EndEditing();
    bool HandleKeyPress(const EventRecord& event) override;

protected:
    virtual void DoneEditing();
    void BeTarget() override;
    void DontBeTarget() override;

private:
    bool mEditing = true;
};

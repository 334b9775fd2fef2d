#include "URegistrar.h"

#include "LCommander.h"
#include "LDialogBox.h"
#include "LPrintout.h"
#include "LScrollerView.h"
#include "LStdControls.h"
#include "LTabGroup.h"
#include "LTextEditView.h"
#include "LView.h"
#include "LWindow.h"

namespace {
template <typename T, typename K>
URegistrar::ClassCreatorFunc KindCreator(K kind)
{
    return [kind](const LLayoutData& data) { return URegistrar::Wrap(new T(data, kind)); };
}
} // namespace

void URegistrar::RegisterFrameworkClasses()
{
    RegisterClass<LWindow>('wind');
    RegisterClass<LDialogBox>('dlog');
    RegisterClass<LView>('view');
    RegisterClass<LPane>('pane');
    RegisterClass<LOffscreenView>('offv');
    RegisterClass<LScrollerView>('sclv');
    // The older scrollers make the same pane here.
    RegisterClass<LScrollerView>('scrl');
    RegisterClass<LScrollerView>('ascr');
    RegisterClass<LPlaceHolder>('plac');
    RegisterClass<LPrintout>('prnt');
    RegisterClass<LTextEditView>('txtv');
    RegisterClass<LTabGroup>('tabg');

    RegisterClass<LStdButton>('pbut');
    RegisterClass<LStdButton>('butn');
    RegisterClass<LStdButton>('txbt');
    RegisterClass<LStdCheckBox>('cbox');
    RegisterClass<LStdRadioButton>('rbut');
    RegisterClass<LRadioGroup>('radg');
    RegisterClass<LStdPopupMenu>('popm');
    RegisterClass<LBevelButton>('bevl');
    RegisterClass<LCmdBevelButton>('cbbt');
    RegisterClass<LGroupBox>('gbox');
    RegisterClass<LCheckBoxGroupBox>('cbgb');
    RegisterClass<LPopupGroupBox>('pgbx');
    RegisterClass<LStaticText>('stxt');
    RegisterClass<LCaption>('capt');
    RegisterClass<LThemeTextBox>('ttxb');
    RegisterClass<LEditText>('etxt');
    RegisterClass<LEditText>('edit');
    RegisterClass<LTabsControl>('tabs');
    RegisterClass<LProgressBar>('pbar');
    RegisterClass<LSlider>('slid');
    RegisterClass<LListBox>('lbox');
    RegisterClass<LImagePane>('pict');
    RegisterClass<LImagePane>('icnp');
    RegisterClass<LImagePane>('cicn');
    RegisterClass<LImagePane>('iwel');
    RegisterClass('sepl', KindCreator<LDecorPane>(LDecorPane::kSeparator));
    RegisterClass('plcd', KindCreator<LDecorPane>(LDecorPane::kPlacard));
    RegisterClass('wshd', KindCreator<LDecorPane>(LDecorPane::kHeader));

    RegisterClass('eras', KindCreator<LDrawingAttachment>(LDrawingAttachment::kErase));
    RegisterClass('cers', KindCreator<LDrawingAttachment>(LDrawingAttachment::kColorErase));
    RegisterClass('pnta', KindCreator<LDrawingAttachment>(LDrawingAttachment::kPaint));
    RegisterClass('brda', KindCreator<LDrawingAttachment>(LDrawingAttachment::kBorder));
    RegisterClass('wtha', KindCreator<LDrawingAttachment>(LDrawingAttachment::kWindowTheme));
    RegisterClass<LCmdEnablerAttachment>('cena');
    RegisterClass('undo', [](const LLayoutData&) { return Wrap(new LUndoer); });
}

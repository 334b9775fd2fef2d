#include "InterfaceClasses.h"

#include "ABalloon.h"
#include "CCarbonEditText.h"
#include "CDASAndDrop.h"
#include "CDateTimeControl.h"
#include "CFloater.h"
#include "CParentWindow.h"
#include "CWidgets.h"
#include "LStdControls.h"
#include "CResizerView.h"
#include "URegistrar.h"

void RegisterInterfaceClasses()
{
    URegistrar::RegisterClass<CParentWindow>(CParentWindow::class_ID);
    URegistrar::RegisterClass<CSheetDialogBox>(CSheetDialogBox::class_ID);
    URegistrar::RegisterClass<CFloater>(CFloater::class_ID);
    URegistrar::RegisterClass<CTaskWindow>(CTaskWindow::class_ID);
    RegisterResizerClasses();
    URegistrar::RegisterClass<CCarbonEditText>(CCarbonEditText::class_ID);
    URegistrar::RegisterClass<CComboBox>(CComboBox::class_ID);
    URegistrar::RegisterClass<CDragEditField>(CDragEditField::class_ID);
    RegisterWidgetClasses();
    URegistrar::RegisterClass<ABalloon>(ABalloon::class_ID);
    URegistrar::RegisterClass<AAutoBalloon>(AAutoBalloon::class_ID);
    URegistrar::RegisterClass<ALocalizedTag>(ALocalizedTag::class_ID);
    // The tab control of the tabbed windows (their panels are built as tabs are chosen).
    URegistrar::RegisterClass<LTabsControl>('SMPT');
    URegistrar::RegisterClass<CDateTimeControl>(CDateTimeControl::class_ID);
    URegistrar::RegisterClass<CDatePane>(CDatePane::class_ID);
}

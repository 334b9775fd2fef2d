#include "InterfaceClasses.h"

#include "ABalloon.h"
#include "CCarbonEditText.h"
#include "CDASAndDrop.h"
#include "CFloater.h"
#include "CParentWindow.h"
#include "CWidgets.h"
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
}

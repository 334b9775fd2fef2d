#include "SearchEditors.h"

#include "ExceptionCode.h"
#include "FieldKeys.h"
#include "LMenuBar.h"
#include "LStdControls.h"
#include "SearchEvaluation.h"

#include <QComboBox>

#include <map>
#include <memory>

namespace {

bool InRange(SInt32 key, SInt32 first, SInt32 last)
{
    return key >= first && key <= last;
}

// Fields of menus 212 and 224 by the shape of their value.
EEditorKind CommonEditorKind(SInt32 key)
{
    switch (key) {
    case kFieldName:
    case kFieldRemoteURL:
    case kFieldVolume:
    case kFieldFolder:
    case kFieldLocation:
    case kFieldCodecName:
    case kFieldCategory:
        return EEditorKind::Text;
    case kFieldKeywords:
    case kFieldSupplementalCategories:
        return EEditorKind::Keywords;
    case kFieldDateAdded:
    case kFieldCreationDate:
    case kFieldModificationDate:
    case kFieldDateTimeOriginal:
    case kFieldDateTimeDigitized:
    case kFieldDateCreated:
        return EEditorKind::Date;
    case kFieldKind:
    case kFieldCreator:
        return EEditorKind::Code;
    default:
        break;
    }
    if (InRange(key, kFieldCaption, kFieldCountryName) || key == kFieldObjectName || key == kFieldTransmissionReference)
        return EEditorKind::Text;
    return EEditorKind::None;
}

} // namespace

EEditorKind SearchEditorKind(SInt32 key)
{
    if (EEditorKind kind = CommonEditorKind(key); kind != EEditorKind::None)
        return kind;
    // The EXIF texts, and the EXIF values shown as text or read as numbers.
    if (key == kFieldEXIFVersion || key == kFieldFlashpixVersion || IsEXIFValueTextKey(key))
        return EEditorKind::Text;
    if (IsNumberFieldKey(key))
        return EEditorKind::Number;
    switch (key) {
    case kFieldHasAlias:
    case kFieldHasThumbnail:
    case kFieldHasCaption:
    case kFieldError:
    case kFieldUnsavedChanges:
    case kFieldFileState:
    case kFieldMediaValidates:
    case kFieldTurnState:
    case kFieldHasEXIF:
    case kFieldFlash:
        return EEditorKind::Flag;
    case kFieldOpenInViewer:
    case kFieldUrgency:
    case kFieldUrgencyLabel:
        return EEditorKind::Menu;
    default:
        return InRange(key, kFieldMake, kFieldUserComment) ? EEditorKind::Text : EEditorKind::None;
    }
}

EEditorKind BatchEditorKind(SInt32 key)
{
    if (EEditorKind kind = CommonEditorKind(key); kind != EEditorKind::None)
        return kind;
    switch (key) {
    case kFieldPositionInView:
        return EEditorKind::Number;
    case kFieldHasAlias:
    case kFieldHasThumbnail:
    case kFieldHasCaption:
    case kFieldError:
    case kFieldTurnState:
    case 4027: // the file's custom icon
        return EEditorKind::Flag;
    case kFieldFileState: // copy, move or open the file
    case kFieldUrgency:
    case kFieldUrgencyLabel:
        return EEditorKind::Menu;
    default:
        return EEditorKind::None;
    }
}

ResIDT SearchSelectorMenu(SInt32 key)
{
    switch (SearchEditorKind(key)) {
    case EEditorKind::Text: return kTextTestMenu;
    case EEditorKind::Keywords: return kKeywordTestMenu;
    case EEditorKind::Date: return kDateTestMenu;
    case EEditorKind::Number: return kNumberTestMenu;
    case EEditorKind::Code: return kCodeTestMenu;
    case EEditorKind::Flag:
        return key == kFieldFileState ? kFileStateTestMenu : key == kFieldMediaValidates ? kValidatesTestMenu : kFlagTestMenu;
    case EEditorKind::Menu: return key == kFieldUrgencyLabel ? kNumberTestMenu : kValueTestMenu;
    case EEditorKind::None: break;
    }
    return 0;
}

ResIDT SearchValueMenu(SInt32 key)
{
    switch (key) {
    case kFieldOpenInViewer: return kViewerValueMenu;
    case kFieldUrgency: return kUrgencyValueMenu;
    case kFieldUrgencyLabel: return kUrgencyLabelMenu;
    default: return 0;
    }
}

ResIDT BatchSelectorMenu(SInt32 key)
{
    switch (BatchEditorKind(key)) {
    case EEditorKind::Text: return kTextActionMenu;
    case EEditorKind::Keywords: return kListActionMenu;
    case EEditorKind::Date:
    case EEditorKind::Code: return kSetActionMenu;
    case EEditorKind::Number: return kNumberActionMenu;
    case EEditorKind::Flag:
        if (key == kFieldHasThumbnail)
            return kThumbnailActionMenu;
        if (key == 4027)
            return kAddRemoveActionMenu;
        return key == kFieldTurnState ? kTurnActionMenu : kRemoveActionMenu;
    case EEditorKind::Menu: return key == kFieldFileState ? kFileActionMenu : kNumberActionMenu;
    case EEditorKind::None: break;
    }
    return 0;
}

ResIDT BatchValueMenu(SInt32 key)
{
    switch (key) {
    case kFieldFileState: return kFileTargetMenu;
    case kFieldUrgency: return kUrgencyValueMenu;
    case kFieldUrgencyLabel: return kUrgencyLabelMenu;
    default: return 0;
    }
}

namespace {

// The field menu without the fields its rows cannot edit.
std::unique_ptr<LMenu> EditableFieldMenu(ResIDT menuID, EEditorKind (*kindOf)(SInt32))
{
    std::unique_ptr<LMenu> menu = LMenu::Load(menuID);
    for (SInt16 i = menu->CountItems(); i >= 1; --i) {
        const SMenuItem* item = menu->Item(i);
        if (!item->IsSeparator() && kindOf(item->command) == EEditorKind::None)
            menu->RemoveItem(i);
    }
    for (SInt16 i = menu->CountItems(); i >= 1; --i) {
        const bool separator = menu->Item(i)->IsSeparator();
        const bool atEnd = i == 1 || i == menu->CountItems();
        if (separator && (atEnd || menu->Item(SInt16(i - 1))->IsSeparator()))
            menu->RemoveItem(i);
    }
    return menu;
}

} // namespace

namespace {

struct MenuCache {
    std::map<ResIDT, std::unique_ptr<LMenu>> menus;
    SInt32 loads = 0;
};

MenuCache& Cache()
{
    static MenuCache cache;
    return cache;
}

} // namespace

const LMenu& CachedMenu(ResIDT menuID)
{
    MenuCache& cache = Cache();
    auto found = cache.menus.find(menuID);
    if (found != cache.menus.end())
        return *found->second;
    std::unique_ptr<LMenu> menu;
    if (menuID == kSearchFieldMenu)
        menu = EditableFieldMenu(menuID, SearchEditorKind);
    else if (menuID == kBatchFieldMenu)
        menu = EditableFieldMenu(menuID, BatchEditorKind);
    else
        menu = LMenu::Load(menuID);
    ThrowIfNil_(menu.get());
    ++cache.loads;
    return *cache.menus.emplace(menuID, std::move(menu)).first->second;
}

SInt32 CountCachedMenuLoads()
{
    return Cache().loads;
}

void ForgetCachedMenus()
{
    Cache().menus.clear();
}

void FillPopupFromMenu(LStdPopupMenu& popup, const LMenu& menu)
{
    QStringList texts, shown;
    for (SInt16 i = 1; i <= menu.CountItems(); ++i) {
        texts << menu.Item(i)->text;
        shown << (menu.Item(i)->IsSeparator() ? QString() : menu.Item(i)->text);
    }
    // A popup that shows these texts already keeps its choice.
    if (popup.GetItems() == shown)
        return;
    popup.StopBroadcasting();
    popup.SetItems(texts);
    if (auto* combo = popup.findChild<QComboBox*>()) {
        for (SInt16 i = 1; i <= menu.CountItems() && i <= combo->count(); ++i) {
            if (!menu.Item(i)->icon.isNull())
                combo->setItemIcon(i - 1, menu.Item(i)->icon);
        }
    }
    popup.SetValue(1);
    popup.StartBroadcasting();
}

CommandT PopupCommand(const LStdPopupMenu& popup, const LMenu& menu)
{
    const SMenuItem* item = menu.Item(SInt16(popup.GetValue()));
    return item && !item->IsSeparator() ? item->command : 0;
}

bool SetPopupToCommand(LStdPopupMenu& popup, const LMenu& menu, CommandT command)
{
    for (SInt16 i = 1; i <= menu.CountItems(); ++i) {
        const SMenuItem* item = menu.Item(i);
        if (!item->IsSeparator() && item->command == command) {
            popup.StopBroadcasting();
            popup.SetValue(i);
            popup.StartBroadcasting();
            return true;
        }
    }
    return false;
}

// The index views' themes: the shared pattern menu and each theme's patterns and colours.
#include "IndexTheme.h"

#include "ExceptionCode.h"
#include "LMenuBar.h"
#include "PString.h"
#include "ResourceUtilities.h"

#include <memory>

namespace {

constexpr ResType kPatternType = 'ppat';
constexpr ResType kColourTableType = 'clut';
constexpr int kColourTableBytes = 36; // six colours of three 16-bit components

// The pattern menu of a menu bar, hung under its item 1099 when the bar has none.
LMenu* MenuBarPatternMenu()
{
    LMenuBar* bar = LMenuBar::GetCurrentMenuBar();
    if (!bar)
        return nullptr;
    if (LMenu* menu = bar->FetchMenu(kPatternMenuID))
        return menu;
    LMenu* owner = nullptr;
    SInt16 item = 0;
    if (!bar->FindMenuItem(cmd_PatternMenu, owner, item))
        return nullptr;
    LMenu* menu = bar->InstallMenu(std::make_unique<LMenu>(kPatternMenuID, owner->Item(item)->text), 0, true);
    owner->Item(item)->submenuID = kPatternMenuID;
    return menu;
}

} // namespace

LMenu& GetPatternMenu()
{
    static std::unique_ptr<LMenu> sViewsMenu; // while no menu bar holds one
    LMenu* menu = MenuBarPatternMenu();
    if (!menu) {
        if (!sViewsMenu)
            sViewsMenu = std::make_unique<LMenu>(kPatternMenuID, QString());
        menu = sViewsMenu.get();
    }
    if (menu->CountItems() == 0)
        AppendResMenu(*menu, kPatternType);
    return *menu;
}

bool ReadThemeColours(const QByteArray& bytes, ThemeColours& outColours)
{
    if (bytes.size() < kColourTableBytes)
        return false;
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
    auto component = [&](int offset) { return quint16((data[offset] << 8) | data[offset + 1]); };
    for (size_t i = 0; i < outColours.size(); ++i) {
        const int at = int(i) * 6;
        outColours[i] = QColor::fromRgba64(component(at), component(at + 2), component(at + 4));
    }
    return true;
}

ThemeColours IndexThemeLook::DefaultColours()
{
    return { QColor(Qt::white), QColor(56, 117, 215), QColor(0x80, 0x80, 0x80), QColor(Qt::black),
        QColor(0xCC, 0xCC, 0xCC), QColor(0xEE, 0xEE, 0xEE) };
}

IndexThemeLook IndexThemeLook::Load(SInt32 theme)
{
    IndexThemeLook look;
    look.colours = DefaultColours();
    ResIDT id = 0;
    const LMenu& menu = GetPatternMenu();
    if (theme >= 1 && theme <= menu.CountItems()) {
        CatchCode([&] {
            GetNamedResourceID(MakePString(menu.Item(SInt16(theme))->text), kPatternType, &id);
            look.pattern = GetPixPat(id);
        });
    }
    if (look.pattern.IsNull()) {
        id = kDefaultPatternID;
        CatchCode([&] { look.pattern = GetPixPat(id); });
    } else {
        CatchCode([&] { look.secondPattern = GetPixPat(ResIDT(id + kSecondPatternOffset)); });
    }
    if (look.pattern.IsNull())
        return look;
    look.patternID = id;
    // The colours go with the pattern drawn, the one that stands in for a missing theme's too.
    CatchCode([&] { ReadThemeColours(GetResourceData(kColourTableType, id), look.colours); });
    return look;
}

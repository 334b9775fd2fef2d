#include "DeferredStyleIcons.h"

#include "DeferredIcon.h"

#include <QApplication>
#include <QPointer>
#include <QProxyStyle>
#include <QStyleOption>

namespace {

class DeferredIconsStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    QIcon standardIcon(StandardPixmap icon, const QStyleOption* option, const QWidget* widget) const override
    {
        if (icon != SP_ToolBarHorizontalExtensionButton && icon != SP_ToolBarVerticalExtensionButton)
            return QProxyStyle::standardIcon(icon, option, widget);
        // The icon depends on the direction of the bar only.
        const Qt::LayoutDirection direction = option ? option->direction : QGuiApplication::layoutDirection();
        QPointer<QStyle> base(baseStyle());
        auto make = [base, icon, direction] {
            QStyleOption drawn;
            drawn.direction = direction;
            QStyle* style = base ? base.data() : QApplication::style();
            return style->standardIcon(icon, &drawn, nullptr);
        };
        // Not square: made when its size is first asked, not only when first drawn.
        return DeferredIcon(make, 0);
    }
};

} // namespace

void DeferStyleIcons()
{
    // The style in use (the desktop's, or the one asked with -style) stays the one that draws.
    QApplication::setStyle(new DeferredIconsStyle(QApplication::style()));
}

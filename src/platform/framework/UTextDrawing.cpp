#include "UTextDrawing.h"

#include "UTextTraits.h"

#include <QFontMetrics>
#include <QPainter>
#include <QTextLayout>

QStringList UTextDrawing::BreakLines(QPainter& painter, const QString& text, int width)
{
    QStringList lines;
    const QStringList paragraphs = QString(text).replace(QLatin1Char('\r'), QLatin1Char('\n')).split(QLatin1Char('\n'));
    for (const QString& paragraph : paragraphs) {
        QTextLayout layout(paragraph, painter.font());
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.beginLayout();
        bool any = false;
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(std::max(1, width));
            lines << paragraph.mid(line.textStart(), line.textLength()).trimmed();
            any = true;
        }
        layout.endLayout();
        if (!any)
            lines << QString();
    }
    return lines;
}

int UTextDrawing::DrawWithJustification(QPainter& painter, const QString& text, const QRect& box, SInt16 justification, bool wrap)
{
    const QRect& area = box;
    if (area.isEmpty() || text.isEmpty())
        return 0;
    Qt::Alignment horizontal = Qt::AlignLeft;
    if (justification == teCenter)
        horizontal = Qt::AlignHCenter;
    else if (justification == teFlushRight)
        horizontal = Qt::AlignRight;
    else if (justification == teFlushDefault)
        horizontal = Qt::AlignLeading;
    QFontMetrics metrics(painter.font());
    const QStringList lines = wrap ? BreakLines(painter, text, area.width()) : QStringList { QString(text).replace(QLatin1Char('\r'), QLatin1Char(' ')) };
    int y = area.top();
    for (const QString& line : lines) {
        if (y + metrics.height() > area.bottom() + 1)
            break;
        painter.drawText(QRect(area.left(), y, area.width(), metrics.height()), int(horizontal | Qt::AlignTop) | Qt::TextSingleLine, line);
        y += metrics.lineSpacing();
    }
    return y - area.top();
}

#include "IndexPrintCaptions.h"

#include "LPrintout.h"
#include "URegistrar.h"

#include <QDate>
#include <QLocale>
#include <QPainter>
#include <QPalette>

namespace {

constexpr int kRuleOffset = 20; // pixels between the frame's edge and the rule

// Captions on paper are ink on white, whatever colours the desktop uses.
void UsePaperColours(QWidget& caption)
{
    QPalette paper = caption.palette();
    for (QPalette::ColorRole role : { QPalette::WindowText, QPalette::Text, QPalette::ButtonText })
        paper.setColor(role, Qt::black);
    for (QPalette::ColorRole role : { QPalette::Window, QPalette::Base, QPalette::Button })
        paper.setColor(role, Qt::white);
    caption.setPalette(paper);
}

} // namespace

CPrintHeaderView::CPrintHeaderView(const LLayoutData& data)
    : LView(data)
{
}

void CPrintHeaderView::FinishCreateSelf()
{
    UsePaperColours(*this);
    mTitle = FindPaneByID('name');
}

void CPrintHeaderView::SetTitle(const QString& title)
{
    if (mTitle)
        mTitle->SetCFDescriptor(title);
}

void CPrintHeaderView::DrawSelf(QPainter& painter)
{
    painter.fillRect(QRect(0, kRuleOffset, width(), 1), Qt::black);
}

CPrintFooterView::CPrintFooterView(const LLayoutData& data)
    : LView(data)
{
}

void CPrintFooterView::FinishCreateSelf()
{
    UsePaperColours(*this);
    mPage = FindPaneByID('page');
    mURL = FindPaneByID('iurl');
    mDate = FindPaneByID('date');
    if (mDate)
        mDate->SetCFDescriptor(QLocale().toString(QDate::currentDate(), QLocale::LongFormat));
}

void CPrintFooterView::SetIndexURL(const QString& url)
{
    if (mURL)
        mURL->SetCFDescriptor(url);
}

QString CPrintFooterView::PageText(SInt32 page, SInt32 count)
{
    return QStringLiteral("Page %1 of %2").arg(page).arg(count);
}

void CPrintFooterView::DrawSelf(QPainter& painter)
{
    // The sub-panes paint after this view, so the page caption shows this page.
    if (mPage && LPrintout::IsPrinting())
        mPage->SetCFDescriptor(PageText(LPrintout::CurrentPanel().pageNumber, mPageCount));
    painter.fillRect(QRect(0, height() - kRuleOffset - 1, width(), 1), Qt::black);
}

void RegisterIndexPrintClasses()
{
    URegistrar::RegisterClass<CPrintHeaderView>(CPrintHeaderView::class_ID);
    URegistrar::RegisterClass<CPrintFooterView>(CPrintFooterView::class_ID);
}

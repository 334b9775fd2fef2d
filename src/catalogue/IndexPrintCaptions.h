#pragma once

#include "IndexDocServices.h"
#include "LView.h"

// The header and footer of a printed index page, made from layouts 952 and 953.

// 'PhdV': the index's name (sub-pane 'name') over a rule 20 pixels below the top.
class CPrintHeaderView : public LView, public IndexPrintCaption {
public:
    static constexpr ClassIDT class_ID = 'PhdV';
    explicit CPrintHeaderView(const LLayoutData& data);

    void SetTitle(const QString& title) override;
    void SetPageCount(SInt32) override { }
    void SetIndexURL(const QString&) override { }
    void DrawSelf(QPainter& painter) override;

protected:
    void FinishCreateSelf() override;

private:
    LPane* mTitle = nullptr;
};

// 'PftV': "Page n of m" ('page'), the index's address ('iurl') and today's date
// ('date') over a rule 20 pixels above the bottom.
class CPrintFooterView : public LView, public IndexPrintCaption {
public:
    static constexpr ClassIDT class_ID = 'PftV';
    explicit CPrintFooterView(const LLayoutData& data);

    void SetTitle(const QString&) override { }
    void SetPageCount(SInt32 count) override { mPageCount = count; }
    void SetIndexURL(const QString& url) override;
    SInt32 GetPageCount() const { return mPageCount; }
    // The text of the footer on a page.
    static QString PageText(SInt32 page, SInt32 count);
    void DrawSelf(QPainter& painter) override;

protected:
    void FinishCreateSelf() override;

private:
    LPane* mPage = nullptr;
    LPane* mURL = nullptr;
    LPane* mDate = nullptr;
    SInt32 mPageCount = 0;
};

// Registers the two print views under their class IDs.
void RegisterIndexPrintClasses();

#pragma once

#include "IndexDocServices.h"

class CIndexView;

// What the index document asks of its index view, answered by the index view.
// The document owns one per window (installed with InstallIndexViewDocumentServices).
class CIndexViewDocument : public IndexDocViewServices {
public:
    explicit CIndexViewDocument(CIndexView& view);

    void SetWindow(LWindow* window) override { mWindow = window; }
    void SetListView(LPane* listView) override { mListView = listView; }
    void SetStatusPlacard(LPane* placard) override { mPlacard = placard; }
    void ReleaseModel() override;
    LBroadcaster& GetViewBroadcaster() override;

    bool IsWindowBusy() const override;
    bool UnlockWithPassword() override;
    bool VerifyPassword() override;

    void RevealSelection() override;
    SInt32 ImportURL(const QUrl& url, SInt32 position, bool select) override;
    bool ReceiveAddress(const QUrl& url) override;
    void ShowAllItems(bool refresh) override;
    // A search task over the current list: the items whose field contains the text
    // (6999: the name, caption, keywords or categories) become the filter.
    void StartQuickSearch(SInt32 fieldKey, const QString& text) override;
    void OpenSelectedItem() override;
    void RebuildThumbnails() override;

    SInt32 GetViewMode() const override;
    void SetViewMode(SInt32 command) override;
    SInt32 GetModeScrollPosition() const override;
    void SetModeScrollPosition(SInt32 position, bool refresh) override;

    void ShowSettings() override;
    SInt32 GetFirstVisibleItem() const override;
    void RemoveAllItems() override;

    bool IsFullScreen() const override;
    QRect GetSavedFrame() const override;
    void EnterFullScreen() override;
    void SetTheme(SInt32 theme, bool redraw) override;

    void SetPrintScale(double scale) override;
    double GetPrintScale() const { return mPrintScale; }
    void PrepareForPrinting(double resolution) override;

private:
    CIndexView& mView;
    LWindow* mWindow = nullptr;
    LPane* mListView = nullptr;
    LPane* mPlacard = nullptr;
    double mPrintScale = 1.0;
    // The thumbnail size the window showed before the grid was laid out for the page.
    SInt32 mSizeBeforePrinting = 0;
};

// Has every index document reach its index view through CIndexViewDocument.
void InstallIndexViewDocumentServices();

// The index window's classes: the index view, the printed header and footer, and
// the panes whose classes the window names.
void RegisterIndexWindowClasses();

#pragma once

#include "ATabbedPanels.h"
#include "LDialogBox.h"

#include <functional>

class LTabsControl;

// The layouts of the preferences dialog: the window and one per panel.
enum : ResIDT {
    kPreferencesLayout = 930,
    kGeneralPrefsPanel = 2000,
    kIndexPrefsPanel = 2001,
    kViewerPrefsPanel = 2002,
    kCameraPrefsPanel = 2004,
    kNetworkPrefsPanel = 2005,
    kRawPrefsPanel = 2006,
};
enum : MessageT {
    msg_PrefsApply = 9000,
    msg_PrefsChooseViewer = 9001,
    msg_PrefsChooseDownloadFolder = 9002,
    msg_PrefsThumbnailSize = 9003,
    msg_PrefsCompression = 9006,
};

// How a control stands for its preference.
enum class EPrefBinding {
    Boolean,       // a check box: value not 0
    Number,        // a popup's or slider's value, or a field's number
    Pattern,       // the background pattern's 'ppat' ID (item 1: the plain colour, ID 1)
    ViewQuality,   // "MediaViewQuality": 0x400 for the box off, 0 for it on
    RawSource,     // pane 4021 sets "RawUseEmbeddedImage" and "RawEnlargeEmbeddedImage"
    RawBrightness, // a field's decimal text, kept as a float
};
struct PrefPaneBinding {
    ResIDT panel;
    PaneIDT pane;
    const char* key;
    EPrefBinding kind;
    // Numbers outside [min, max] are brought into it (min > max: left as they are).
    SInt32 min = 1;
    SInt32 max = 0;
};
// Every panel's controls and their keys; pane IDs repeat between panels.
const std::vector<PrefPaneBinding>& PreferenceBindings();

// The preferences dialog ('PrfW', layout 930): there is one at most. Its tab
// control chooses one of six panels; the panel's controls are filled from the
// preferences when it is built and written back when the user leaves it,
// applies (9000) or closes the window (900 and Escape and the close box also
// write the preference file at once, 901 leaves that to the end of the program).
class CPreferencesWindow : public LDialogBox, public ATabbedPanels {
public:
    static constexpr ClassIDT class_ID = 'PrfW';

    explicit CPreferencesWindow(const LLayoutData& data);
    ~CPreferencesWindow() override;

    // Brings the window forward, or makes it on the last panel shown.
    static CPreferencesWindow* ShowPreferencesWindow(LCommander* superCommander);
    static CPreferencesWindow* GetPreferencesWindow() { return sWindow; }

    // The panel of a tab value (0 for none).
    static ResIDT PanelForTab(SInt32 tab);
    void SwitchPreferencesPanel(ResIDT panelID);
    void LoadPanelValues();
    void SavePanelValues();
    void ChooseAlternativeViewer();
    void ChooseDownloadFolder();
    // Saves the panel; `writeFile` also writes the preference file. Then the
    // window closes and every window is drawn again.
    void SaveAndClose(bool writeFile);

    void ListenToMessage(MessageT message, void* ioParam) override;
    bool HandleKeyPress(const EventRecord& event) override;
    void AttemptClose() override;
    void FindCommandStatus(CommandT command, Boolean& outEnabled, Boolean& outUsesMark, UInt16& outMark,
        Str255& outName) override;

    // What the choosers ask the user, replaceable for tests: a path, empty when cancelled.
    using AskPath = std::function<QString()>;
    static void SetChooserHooks(AskPath chooseApplication, AskPath chooseFolder);

protected:
    void FinishCreateSelf() override;
    void StorePanel() override { SavePanelValues(); }
    void FillPanel() override { LoadPanelValues(); }

private:
    void ShowChosenPaths();
    void ShowThumbnailSize();
    void ShowCompression();

    LTabsControl* mTabs = nullptr;
    bool mClosing = false;
    static inline CPreferencesWindow* sWindow = nullptr;
};

// Draws every open index and media window again (after the preferences changed,
// or the desktop's theme or palette).
void RefreshAllWindows();

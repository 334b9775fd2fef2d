#pragma once

#include <QWidget>

class LApplication;

// The program's menu bar has to live in a window here. While no document window is
// shown this small window carries it, so the program can still be used (New, Open,
// the recent items, Quit); it steps aside as soon as a document window shows.
// Closing it quits.
class CMenuBarWindow : public QWidget {
public:
    explicit CMenuBarWindow(LApplication* application);

    // Shows the window when needed and hides it when not (it never steals the focus
    // from a document window that just closed: it only comes up when none is left).
    void SetNeeded(bool needed);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    LApplication* mApplication;
    bool mNeeded = false;
};

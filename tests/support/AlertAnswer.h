#pragma once

#include "LDialogBox.h"
#include "LStdControls.h"

#include <QApplication>
#include <QStringList>
#include <QTimer>

#include <functional>

// Answers the program's modal alerts in tests, as a user would: header only, for
// the test programs that link the framework.

// The alert that is up, if any.
inline LDialogBox* FindOpenDialog()
{
    // A modal alert comes first: floating windows are dialog boxes too.
    if (QWidget* modal = QApplication::activeModalWidget()) {
        if (auto* dialog = dynamic_cast<LDialogBox*>(modal))
            return dialog;
        if (auto* dialog = modal->findChild<LDialogBox*>())
            return dialog;
    }
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (!top->isVisible())
            continue;
        if (auto* dialog = dynamic_cast<LDialogBox*>(top))
            return dialog;
        for (QWidget* child : top->findChildren<QWidget*>())
            if (auto* dialog = dynamic_cast<LDialogBox*>(child))
                return dialog;
    }
    return nullptr;
}

// Once the alert is up: reads it, then presses the button.
struct AlertAnswer {
    PaneIDT button = 1;
    std::function<void(LDialogBox*)> inspect;
    bool sawDialog = false;

    void Arm()
    {
        QTimer::singleShot(30, qApp, [this] {
            LDialogBox* dialog = FindOpenDialog();
            if (!dialog) {
                Arm(); // not up yet
                return;
            }
            sawDialog = true;
            if (inspect)
                inspect(dialog);
            if (auto* pressed = dynamic_cast<LControl*>(dialog->FindPaneByID(button)))
                pressed->SimulateHotSpotClick();
        });
    }
};

inline QString PaneText(LDialogBox* dialog, PaneIDT id)
{
    LPane* pane = dialog->FindPaneByID(id);
    return pane ? pane->GetCFDescriptor() : QStringLiteral("<none>");
}

// Answers every alert that comes up while it lives with the button of one pane ID
// and keeps what each said (message and explanation). Unlike AlertAnswer it stops
// looking when it goes, so a test may expect no alert at all.
class StAlertAnswers {
public:
    explicit StAlertAnswers(PaneIDT button)
    {
        mTimer.setInterval(20);
        QObject::connect(&mTimer, &QTimer::timeout, [this, button] {
            LDialogBox* dialog = FindOpenDialog();
            if (!dialog)
                return;
            mTexts << PaneText(dialog, 4) + QLatin1Char('\n') + PaneText(dialog, 5);
            if (auto* pressed = dynamic_cast<LControl*>(dialog->FindPaneByID(button)))
                pressed->SimulateHotSpotClick();
        });
        mTimer.start();
    }
    const QStringList& Texts() const { return mTexts; }

private:
    QTimer mTimer;
    QStringList mTexts;
};

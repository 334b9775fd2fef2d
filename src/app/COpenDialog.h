#pragma once

#include <QFileDialog>
#include <QStringList>

// The open dialog: packages are documents, chosen as a whole rather than entered;
// a plain folder can be chosen too (it is imported). Only what can be opened shows.
class COpenDialog : public QFileDialog {
public:
    COpenDialog();

    // What the user chose, once the dialog was accepted.
    QStringList Chosen() const { return mChosen; }

    void accept() override;

private:
    QStringList mChosen;
};

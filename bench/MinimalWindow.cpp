// The start-up benchmark's yardstick: a Qt Widgets program as a user compares the
// program with, a main window with text and a menu bar of three menus (File, Edit
// and Help, with their usual commands and shortcuts), so that, as Orvex's window
// does, it lays out text and so fills the font database before it is shown.
// Built with ORVEX_BARE_WINDOW, the window has neither (a reference without fonts).
// An argument "<width>x<height>" gives the window Orvex's size, so both paint as many pixels.
#include <QApplication>
#include <QKeySequence>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("minimal"));
#ifndef ORVEX_BARE_WINDOW
    QMenu* file = window.menuBar()->addMenu(QStringLiteral("&File"));
    file->addAction(QStringLiteral("&New"), QKeySequence::New, [] {});
    file->addAction(QStringLiteral("&Open..."), QKeySequence::Open, [] {});
    file->addAction(QStringLiteral("&Save"), QKeySequence::Save, [] {});
    file->addAction(QStringLiteral("&Close"), QKeySequence::Close, [&window] { window.close(); });
    file->addSeparator();
    file->addAction(QStringLiteral("&Quit"), QKeySequence::Quit, &app, &QApplication::quit);
    QMenu* edit = window.menuBar()->addMenu(QStringLiteral("&Edit"));
    edit->addAction(QStringLiteral("&Undo"), QKeySequence::Undo, [] {});
    edit->addSeparator();
    edit->addAction(QStringLiteral("Cu&t"), QKeySequence::Cut, [] {});
    edit->addAction(QStringLiteral("&Copy"), QKeySequence::Copy, [] {});
    edit->addAction(QStringLiteral("&Paste"), QKeySequence::Paste, [] {});
    edit->addAction(QStringLiteral("Select &All"), QKeySequence::SelectAll, [] {});
    QMenu* help = window.menuBar()->addMenu(QStringLiteral("&Help"));
    help->addAction(QStringLiteral("&About"), [] {});
    window.setCentralWidget(new QLabel(QStringLiteral("minimal")));
#endif
    QSize size(640, 480);
    if (argc > 1) {
        const QList<QByteArray> sides = QByteArray(argv[1]).split('x');
        if (sides.size() == 2 && sides[0].toInt() > 0 && sides[1].toInt() > 0)
            size = QSize(sides[0].toInt(), sides[1].toInt());
    }
    window.resize(size);
    window.show();
    return QApplication::exec();
}

// The start-up benchmark's yardstick: the least a Qt Widgets program does to show a
// main window with text: a menu bar with one menu and a label, so that, as Orvex's
// window does, it lays out text and so fills the font database before it is shown.
// Built with ORVEX_BARE_WINDOW, the window has neither (a reference without fonts).
#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("minimal"));
#ifndef ORVEX_BARE_WINDOW
    window.menuBar()->addMenu(QStringLiteral("File"));
    window.setCentralWidget(new QLabel(QStringLiteral("minimal")));
#endif
    window.resize(640, 480);
    window.show();
    return QApplication::exec();
}

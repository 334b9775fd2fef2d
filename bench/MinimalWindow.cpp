// The start-up benchmark's yardstick: the least a Qt Widgets program does to show a
// main window with text: a menu bar with one menu and a label, so that, as Orvex's
// window does, it lays out text and so fills the font database before it is shown.
// Built with ORVEX_BARE_WINDOW, the window has neither (a reference without fonts).
// An argument "<width>x<height>" gives the window Orvex's size, so both paint as many pixels.
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

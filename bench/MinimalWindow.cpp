// The start-up benchmark's yardstick: the least a Qt Widgets program does to show a window.
#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("minimal"));
    window.resize(640, 480);
    window.show();
    return QApplication::exec();
}

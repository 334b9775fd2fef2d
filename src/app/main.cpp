#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("orvex"));
    QCoreApplication::setApplicationName(QStringLiteral("Orvex"));

    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Orvex"));
    window.resize(800, 600);
    window.show();
    return app.exec();
}

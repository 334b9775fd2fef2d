// Renders the program's icon (resources/desktop/org.orvex.Orvex.svg) at the sizes
// of the hicolor icon theme, for desktops that show PNG icons only, into
// resources/desktop/icons/<size>x<size>/org.orvex.Orvex.png.
// Build and run from the repository root:
//   g++ -std=c++20 -fPIC scripts/images/render-app-icons.cpp -o /tmp/render-app-icons \
//       $(pkg-config --cflags --libs Qt6Gui) && QT_QPA_PLATFORM=offscreen /tmp/render-app-icons
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>

#include <cstdio>

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const QString source = QStringLiteral("resources/desktop/org.orvex.Orvex.svg");
    for (int side : {16, 22, 24, 32, 48, 64, 128, 256}) {
        QImageReader reader(source);
        reader.setScaledSize(QSize(side, side));
        const QImage image = reader.read().convertToFormat(QImage::Format_ARGB32);
        if (image.isNull()) {
            std::fprintf(stderr, "%s cannot be read: %s\n", qPrintable(source), qPrintable(reader.errorString()));
            return 1;
        }
        const QString folder = QStringLiteral("resources/desktop/icons/%1x%1").arg(side);
        QDir().mkpath(folder);
        QImageWriter writer(folder + QStringLiteral("/org.orvex.Orvex.png"), "png");
        // The same bytes every run: no time stamp, the best compression.
        writer.setQuality(0);
        if (!writer.write(image)) {
            std::fprintf(stderr, "%s\n", qPrintable(writer.errorString()));
            return 1;
        }
    }
    return 0;
}

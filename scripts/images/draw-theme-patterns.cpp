// Draws the index view's background themes into resources: each theme's tile
// ('ppat' <ID>) at its size and at twice its size ("@2x") in resources/patterns,
// its six colours ('clut' <ID>, 36 bytes: six RGB triples of big-endian 16-bit
// components) in resources/data, and the themes' names in resources/names/ppat.json
// (the order of the IDs is the order of the Background menu, so theme n is the
// n-th). The textures are made of integer-hashed noise, so every run draws the
// same bytes and every tile repeats without a seam.
// Build and run from the repository root:
//   g++ -std=c++20 -fPIC scripts/images/draw-theme-patterns.cpp -o /tmp/draw-theme-patterns \
//       $(pkg-config --cflags --libs Qt6Gui) && QT_QPA_PLATFORM=offscreen /tmp/draw-theme-patterns
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>

#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>

namespace {

constexpr int kTile = 64; // logical pixels; the @2x tile has 128

// A value in [0, 1) for the integer coordinates and a seed.
double Hash(int x, int y, uint32_t seed)
{
    uint32_t h = uint32_t(x) * 0x8da6b343u ^ uint32_t(y) * 0xd8163841u ^ seed * 0xcb1ab31fu;
    h ^= h >> 15;
    h *= 0x2c1b3c6du;
    h ^= h >> 12;
    h *= 0x297a2d39u;
    h ^= h >> 15;
    return double(h) / 4294967296.0;
}

// Signed noise in [-1, 1).
double Signed(int x, int y, uint32_t seed)
{
    return 2.0 * Hash(x, y, seed) - 1.0;
}

// Smooth value noise in [-1, 1) on a lattice of `cell` logical pixels, wrapping
// at the tile so that it tiles.
double Smooth(double lx, double ly, int cell, uint32_t seed)
{
    const int cells = kTile / cell;
    const double gx = lx / cell, gy = ly / cell;
    const int x0 = int(std::floor(gx)), y0 = int(std::floor(gy));
    auto at = [&](int x, int y) { return Signed(((x % cells) + cells) % cells, ((y % cells) + cells) % cells, seed); };
    auto ease = [](double t) { return t * t * (3 - 2 * t); };
    const double tx = ease(gx - x0), ty = ease(gy - y0);
    const double top = at(x0, y0) * (1 - tx) + at(x0 + 1, y0) * tx;
    const double bottom = at(x0, y0 + 1) * (1 - tx) + at(x0 + 1, y0 + 1) * tx;
    return top * (1 - ty) + bottom * ty;
}

// Where a device pixel lies: its logical pixel, the position of its centre in
// logical units, and the device pixel itself.
struct Spot {
    int x, y;       // logical pixel
    double lx, ly;  // logical position of the device pixel's centre
    int dx, dy;     // device pixel
};

// A lightness offset for each device pixel, added to the theme's base colour.
using Texture = std::function<double(const Spot&)>;

struct Theme {
    int id;
    const char* name;
    QRgb base;
    Texture texture;
    std::array<QRgb, 6> colours; // background, highlight, empty-view text, cell text, lines, label column
    bool hasSecond = false;      // a second pattern (ID + 1000): the base lighter by 10
};

QRgb Shade(QRgb colour, double offset)
{
    auto channel = [&](int c) { return std::clamp(int(std::lround(c + offset)), 0, 255); };
    return qRgb(channel(qRed(colour)), channel(qGreen(colour)), channel(qBlue(colour)));
}

QImage Draw(QRgb base, const Texture& texture, int scale)
{
    QImage image(kTile * scale, kTile * scale, QImage::Format_RGB32);
    for (int dy = 0; dy < image.height(); ++dy) {
        for (int dx = 0; dx < image.width(); ++dx) {
            const Spot spot { dx / scale, dy / scale, (dx + 0.5) / scale, (dy + 0.5) / scale, dx, dy };
            image.setPixel(dx, dy, texture ? Shade(base, texture(spot)) : base);
        }
    }
    return image;
}

// Fine grain: a little of each device pixel's own noise.
double Grain(const Spot& s, double amount, uint32_t seed)
{
    return amount * Signed(s.dx, s.dy, seed);
}

std::vector<Theme> Themes()
{
    std::vector<Theme> themes;
    // 1: the desktop's own window colour (the view draws it from the palette; the tile stands in elsewhere).
    themes.push_back({ 128, "System", qRgb(0xEC, 0xEC, 0xEC), nullptr,
        { qRgb(0xEC, 0xEC, 0xEC), qRgb(0x38, 0x75, 0xD7), qRgb(0x80, 0x80, 0x80), qRgb(0, 0, 0), qRgb(0xCC, 0xCC, 0xCC),
            qRgb(0xEE, 0xEE, 0xEE) } });
    // 2: warm paper, mottled and grained.
    themes.push_back({ 129, "Paper", qRgb(0xF5, 0xF1, 0xE7),
        [](const Spot& s) { return 2.5 * Smooth(s.lx, s.ly, 16, 21) + 1.5 * Smooth(s.lx, s.ly, 4, 22) + Grain(s, 2.5, 23); },
        { qRgb(0xF5, 0xF1, 0xE7), qRgb(0x3A, 0x78, 0xC8), qRgb(0x8A, 0x82, 0x72), qRgb(0x2A, 0x26, 0x20),
            qRgb(0xD8, 0xD0, 0xBE), qRgb(0xEF, 0xE8, 0xD8) } });
    // 3: graphite, dark and faintly brushed: full screen.
    auto graphite = [](const Spot& s) {
        return 1.8 * Signed(0, s.y, 31) + 1.5 * Smooth(s.lx, s.ly, 8, 32) + Grain(s, 2.0, 33);
    };
    themes.push_back({ 130, "Graphite", qRgb(0x2A, 0x2C, 0x30), graphite,
        { qRgb(0x2A, 0x2C, 0x30), qRgb(0x5B, 0x9D, 0xF5), qRgb(0x8E, 0x93, 0x9B), qRgb(0xE8, 0xE9, 0xEB),
            qRgb(0x3C, 0x3F, 0x45), qRgb(0x33, 0x36, 0x3B) },
        true });
    // 4: linen: each thread across and each thread down has its own shade.
    themes.push_back({ 131, "Linen", qRgb(0xE6, 0xDE, 0xCF),
        [](const Spot& s) { return 3.2 * Signed(0, s.y, 41) + 3.2 * Signed(s.x, 0, 42) + Grain(s, 1.5, 43); },
        { qRgb(0xE6, 0xDE, 0xCF), qRgb(0x3A, 0x72, 0xC0), qRgb(0x85, 0x7B, 0x69), qRgb(0x2E, 0x2A, 0x22),
            qRgb(0xCF, 0xC4, 0xAF), qRgb(0xED, 0xE7, 0xDB) } });
    // 5: stone: light grey with darker speckles.
    themes.push_back({ 132, "Stone", qRgb(0xD9, 0xD6, 0xD0),
        [](const Spot& s) {
            const double speck = Hash(s.x, s.y, 51) < 0.035 ? -18.0 : (Hash(s.x, s.y, 52) < 0.03 ? 8.0 : 0.0);
            return 4.0 * Smooth(s.lx, s.ly, 16, 53) + 2.0 * Smooth(s.lx, s.ly, 4, 54) + speck + Grain(s, 1.5, 55);
        },
        { qRgb(0xD9, 0xD6, 0xD0), qRgb(0x2F, 0x6F, 0xC4), qRgb(0x6F, 0x6B, 0x64), qRgb(0x23, 0x21, 0x1E),
            qRgb(0xBD, 0xB8, 0xAF), qRgb(0xE3, 0xE0, 0xDA) } });
    // 6: midnight blue, softly clouded.
    themes.push_back({ 133, "Midnight", qRgb(0x1A, 0x22, 0x33),
        [](const Spot& s) { return 2.5 * Smooth(s.lx, s.ly, 16, 61) + Grain(s, 1.5, 62); },
        { qRgb(0x1A, 0x22, 0x33), qRgb(0x6E, 0xA8, 0xFF), qRgb(0x7F, 0x8A, 0xA3), qRgb(0xE6, 0xEB, 0xF5),
            qRgb(0x2C, 0x36, 0x50), qRgb(0x22, 0x2B, 0x3F) } });
    // 7: sand, coarse grained.
    themes.push_back({ 134, "Sand", qRgb(0xE8, 0xD9, 0xBA),
        [](const Spot& s) { return 3.0 * Smooth(s.lx, s.ly, 8, 71) + 4.5 * Signed(s.x, s.y, 72) + Grain(s, 2.0, 73); },
        { qRgb(0xE8, 0xD9, 0xBA), qRgb(0x2F, 0x6D, 0xB8), qRgb(0x8A, 0x76, 0x50), qRgb(0x2F, 0x26, 0x17),
            qRgb(0xD3, 0xC1, 0x9C), qRgb(0xEF, 0xE3, 0xCB) } });
    // 8: sage green, quiet.
    themes.push_back({ 135, "Sage", qRgb(0xC5, 0xD0, 0xBE),
        [](const Spot& s) { return 3.0 * Smooth(s.lx, s.ly, 16, 81) + Grain(s, 1.5, 82); },
        { qRgb(0xC5, 0xD0, 0xBE), qRgb(0x2F, 0x6F, 0xA8), qRgb(0x5F, 0x6E, 0x58), qRgb(0x1F, 0x2A, 0x1C),
            qRgb(0xAB, 0xB8, 0xA2), qRgb(0xD2, 0xDB, 0xCC) } });
    // 9: denim: a twill of diagonal ribs.
    themes.push_back({ 136, "Denim", qRgb(0x34, 0x50, 0x6F),
        [](const Spot& s) {
            const int rib = int(std::floor(s.lx + s.ly)) % 4;
            return (rib < 2 ? 4.0 : -4.0) + 2.5 * Signed(s.x, s.y, 91) + 2.0 * Smooth(s.lx, s.ly, 16, 92) + Grain(s, 1.5, 93);
        },
        { qRgb(0x34, 0x50, 0x6F), qRgb(0xFF, 0xC8, 0x57), qRgb(0x9F, 0xB1, 0xC6), qRgb(0xF2, 0xF5, 0xF9),
            qRgb(0x4A, 0x65, 0x87), qRgb(0x3C, 0x5A, 0x7C) } });
    // 10: cork: blotched, with dark and light specks.
    themes.push_back({ 137, "Cork", qRgb(0xD6, 0xB8, 0x8C),
        [](const Spot& s) {
            const double speck = Hash(s.x, s.y, 101) < 0.06 ? -26.0 : (Hash(s.x, s.y, 102) < 0.05 ? 12.0 : 0.0);
            return 7.0 * Smooth(s.lx, s.ly, 8, 103) + 3.0 * Smooth(s.lx, s.ly, 4, 104) + speck + Grain(s, 2.0, 105);
        },
        { qRgb(0xD6, 0xB8, 0x8C), qRgb(0x2D, 0x62, 0xB0), qRgb(0x7A, 0x5C, 0x36), qRgb(0x2A, 0x1C, 0x0C),
            qRgb(0xBF, 0x9F, 0x71), qRgb(0xE0, 0xC7, 0xA2) } });
    // 11: blueprint: a fine grid every 16 pixels, a stronger line every 64.
    themes.push_back({ 138, "Blueprint", qRgb(0x1E, 0x4A, 0x73),
        [](const Spot& s) {
            const bool major = s.x % 64 == 0 || s.y % 64 == 0;
            const bool minor = s.x % 16 == 0 || s.y % 16 == 0;
            return (major ? 26.0 : minor ? 12.0 : 0.0) + Grain(s, 1.5, 111);
        },
        { qRgb(0x1E, 0x4A, 0x73), qRgb(0xFF, 0xD1, 0x66), qRgb(0x9D, 0xB9, 0xD6), qRgb(0xF0, 0xF6, 0xFC),
            qRgb(0x3A, 0x66, 0x90), qRgb(0x25, 0x54, 0x7F) } });
    // 12: canvas: a basket weave of four-pixel blocks.
    themes.push_back({ 139, "Canvas", qRgb(0xEE, 0xEA, 0xE0),
        [](const Spot& s) {
            const bool across = ((s.x / 4) + (s.y / 4)) % 2 == 0;
            const double thread = across ? Signed(0, s.y, 121) : Signed(s.x, 0, 122);
            return 3.5 * thread + (across ? 1.0 : -1.0) + Grain(s, 1.2, 123);
        },
        { qRgb(0xEE, 0xEA, 0xE0), qRgb(0x35, 0x70, 0xC0), qRgb(0x85, 0x80, 0x6F), qRgb(0x2B, 0x29, 0x23),
            qRgb(0xD6, 0xD0, 0xC0), qRgb(0xF3, 0xF0, 0xE8) } });
    // 13: pinstripe: a fine line every eight pixels.
    themes.push_back({ 140, "Pinstripe", qRgb(0xE6, 0xE8, 0xEC),
        [](const Spot& s) { return (s.x % 8 == 0 ? -12.0 : 0.0) + Grain(s, 0.8, 131); },
        { qRgb(0xE6, 0xE8, 0xEC), qRgb(0x2F, 0x6F, 0xD0), qRgb(0x76, 0x7B, 0x84), qRgb(0x1E, 0x20, 0x24),
            qRgb(0xC9, 0xCD, 0xD4), qRgb(0xEE, 0xF0, 0xF3) } });
    // 14: mist: plain soft grey, the default.
    themes.push_back({ 141, "Mist", qRgb(0xE9, 0xEB, 0xEE), nullptr,
        { qRgb(0xE9, 0xEB, 0xEE), qRgb(0x38, 0x75, 0xD7), qRgb(0x7A, 0x7F, 0x88), qRgb(0x1C, 0x1E, 0x22),
            qRgb(0xCD, 0xD1, 0xD7), qRgb(0xF1, 0xF2, 0xF4) } });
    return themes;
}

// Six RGB triples of big-endian 16-bit components (each 8-bit value doubled into 16 bits).
QByteArray ColourTable(const std::array<QRgb, 6>& colours)
{
    QByteArray bytes;
    for (QRgb colour : colours) {
        for (int c : { qRed(colour), qGreen(colour), qBlue(colour) }) {
            bytes.append(char(c));
            bytes.append(char(c));
        }
    }
    return bytes;
}

bool Write(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    QJsonObject names;
    for (const Theme& theme : Themes()) {
        const QString id = QString::number(theme.id);
        for (int scale : { 1, 2 }) {
            const QString suffix = scale == 2 ? QStringLiteral("@2x.png") : QStringLiteral(".png");
            if (!Draw(theme.base, theme.texture, scale).save(QStringLiteral("resources/patterns/ppat-") + id + suffix))
                return 1;
            if (theme.hasSecond
                && !Draw(Shade(theme.base, 10), theme.texture, scale)
                        .save(QStringLiteral("resources/patterns/ppat-%1").arg(theme.id + 1000) + suffix))
                return 1;
        }
        if (!Write(QStringLiteral("resources/data/clut-") + id + QStringLiteral(".bin"), ColourTable(theme.colours)))
            return 1;
        names.insert(id, QString::fromLatin1(theme.name));
    }
    return Write(QStringLiteral("resources/names/ppat.json"), QJsonDocument(names).toJson()) ? 0 : 1;
}

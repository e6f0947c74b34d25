// SPDX-License-Identifier: GPL-3.0-or-later
// Makes the program's pictures, drawn from shapes only (no fonts), so the same Qt gives the
// same bytes every time:
//
//   phoneon.bmp, phoneoff.bmp    64x64 telephone state: a white handset on a green disc,
//                                lifted and tilted (on), or on a red disc lying flat (off).
//   onbutton.bmp, offbutton.bmp  80x32 button faces: a raised green (on) or red (off) face
//                                with the matching small handset.
//   mouth01.bmp .. mouth21.bmp   96x64 mouth for each viseme of the talking face (the
//                                viseme numbering of the speech voices): lips drawn from
//                                width, opening and rounding, with teeth and tongue where the
//                                sound shows them (open vowels, rounded vowels, spread i,
//                                teeth together for s, lip on teeth for f, tongue between
//                                teeth for th, lips pressed shut for p/b/m).
//   korvalen-16.png .. korvalen-256.png
//                                the program's icon in 16, 32, 48, 64, 128 and 256 pixels: a
//                                letter on a blue tile and a green call disc with the lifted
//                                handset, transparent around the tile.
//
// usage: korvalen-make-pictures [output-folder]   (default: ./data)

#include "OutputFolderArgument.h"

#include <QColor>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <cstdio>

namespace {

const QColor kFace(0xF0, 0xF0, 0xF0); // window background the icons sit on
const QColor kGreen(0x2E, 0x9E, 0x44);
const QColor kRed(0xC8, 0x30, 0x2C);

// A handset centred on the origin, about 40 units long, earpiece left and mouthpiece right.
QPainterPath Handset()
{
    QPainterPath spine;
    spine.moveTo(-15, -3);
    spine.cubicTo(-6, -9, 6, -9, 15, -3);
    QPainterPathStroker stroker;
    stroker.setWidth(7);
    stroker.setCapStyle(Qt::RoundCap);
    QPainterPath shape = stroker.createStroke(spine);
    // The two cups, turned slightly outwards.
    for (int side : {-1, 1}) {
        QPainterPath cup;
        cup.addRoundedRect(QRectF(-7, -4, 14, 10), 4, 4);
        QTransform t;
        t.translate(side * 15.5, 1);
        t.rotate(side * 18);
        shape = shape.united(t.map(cup));
    }
    return shape.simplified();
}

void DrawHandset(QPainter& p, QPointF centre, double scale, double angle, const QColor& color)
{
    p.save();
    p.translate(centre);
    p.rotate(angle);
    p.scale(scale, scale);
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawPath(Handset());
    p.restore();
}

QImage Canvas(int w, int h, const QColor& fill)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(fill);
    return img;
}

QImage PhoneIcon(bool on)
{
    QImage img = Canvas(64, 64, kFace);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor base = on ? kGreen : kRed;
    QRadialGradient g(QPointF(26, 24), 34);
    g.setColorAt(0, base.lighter(130));
    g.setColorAt(1, base.darker(110));
    p.setPen(QPen(base.darker(140), 1.5));
    p.setBrush(g);
    p.drawEllipse(QRectF(3, 3, 58, 58));
    // Lifted: tilted up to the ear. Resting: lying flat, cups down.
    if (on)
        DrawHandset(p, QPointF(32, 33), 1.0, -35, Qt::white);
    else
        DrawHandset(p, QPointF(32, 34), 1.0, 0, Qt::white);
    return img;
}

QImage Button(bool on)
{
    QImage img = Canvas(80, 32, kFace);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor base = on ? kGreen : kRed;
    QLinearGradient g(0, 0, 0, 32);
    g.setColorAt(0, base.lighter(140));
    g.setColorAt(0.5, base);
    g.setColorAt(1, base.darker(130));
    p.setPen(QPen(base.darker(170), 1));
    p.setBrush(g);
    p.drawRoundedRect(QRectF(1.5, 1.5, 77, 29), 6, 6);
    // A highlight along the top edge makes the face look raised.
    p.setPen(QPen(QColor(255, 255, 255, 110), 1));
    p.drawLine(QPointF(8, 4.5), QPointF(72, 4.5));
    DrawHandset(p, QPointF(40, 17), 0.62, on ? -35 : 0, Qt::white);
    return img;
}

// How a viseme shapes the mouth.
struct Mouth
{
    double width; // 0 narrow (pursed) .. 1 wide (spread)
    double open; // 0 shut .. 1 wide open
    double round; // 0 spread lens .. 1 round
    bool upperTeeth;
    bool lowerTeeth;
    int tongue; // 0 none, 1 lying low, 2 tip raised behind the teeth, 3 between the teeth
    bool lipOnTeeth; // the upper teeth rest on the lower lip
};

// Viseme 1..21 in the speech voices' numbering.
const Mouth kMouths[21] = {
    {0.70, 0.45, 0.20, true, false, 1, false}, // 1  æ ə ʌ
    {0.75, 0.80, 0.30, true, false, 1, false}, // 2  ɑ a
    {0.50, 0.65, 0.75, false, false, 1, false}, // 3  ɔ ɒ
    {0.80, 0.40, 0.10, true, true, 0, false}, // 4  e ɛ ʊ
    {0.55, 0.35, 0.55, true, false, 0, false}, // 5  ɚ ɝ ɜ
    {0.95, 0.20, 0.00, true, true, 0, false}, // 6  i ɪ j
    {0.25, 0.25, 1.00, false, false, 0, false}, // 7  u w y
    {0.40, 0.45, 0.90, false, false, 1, false}, // 8  o oʊ
    {0.65, 0.70, 0.45, true, false, 1, false}, // 9  aʊ
    {0.50, 0.55, 0.70, true, false, 1, false}, // 10 ɔɪ
    {0.80, 0.65, 0.20, true, true, 1, false}, // 11 aɪ
    {0.65, 0.50, 0.30, true, true, 1, false}, // 12 h x
    {0.45, 0.30, 0.65, true, false, 2, false}, // 13 ɹ r
    {0.70, 0.40, 0.20, true, true, 2, false}, // 14 l
    {0.85, 0.12, 0.00, true, true, 0, false}, // 15 s z
    {0.50, 0.25, 0.80, true, true, 0, false}, // 16 ʃ ʒ tʃ
    {0.75, 0.22, 0.10, true, true, 3, false}, // 17 θ ð
    {0.75, 0.14, 0.00, true, false, 0, true}, // 18 f v
    {0.75, 0.22, 0.10, true, true, 2, false}, // 19 t d n
    {0.70, 0.35, 0.20, true, true, 1, false}, // 20 k g ŋ
    {0.70, 0.00, 0.00, false, false, 0, false}, // 21 p b m
};

// A closed curve through left and right corners, bulging up by `up` and down by `down`.
// A round mouth is an ellipse (control points at 0.55 of each half axis); a spread one is a
// lens with pointed corners.
QPainterPath Lens(QPointF c, double halfWidth, double up, double down, double round)
{
    const double ky = 0.1 + 0.45 * round;
    const double kx = 0.3 + 0.25 * round;
    QPainterPath path;
    path.moveTo(c.x() - halfWidth, c.y());
    path.cubicTo(c.x() - halfWidth, c.y() - up * ky, c.x() - halfWidth * kx, c.y() - up, c.x(), c.y() - up);
    path.cubicTo(c.x() + halfWidth * kx, c.y() - up, c.x() + halfWidth, c.y() - up * ky, c.x() + halfWidth, c.y());
    path.cubicTo(c.x() + halfWidth, c.y() + down * ky, c.x() + halfWidth * kx, c.y() + down, c.x(), c.y() + down);
    path.cubicTo(c.x() - halfWidth * kx, c.y() + down, c.x() - halfWidth, c.y() + down * ky, c.x() - halfWidth, c.y());
    path.closeSubpath();
    return path;
}

QImage MouthPicture(const Mouth& m)
{
    const QColor skin(0xF2, 0xC6, 0xA0);
    const QColor lip(0xC0, 0x50, 0x55);
    const QColor lipEdge(0x8A, 0x30, 0x36);
    const QColor inside(0x3A, 0x10, 0x14);
    const QColor tongue(0xE0, 0x70, 0x80);
    QImage img = Canvas(96, 64, skin);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);

    const QPointF c(48, 32);
    const double halfWidth = 14 + 22 * m.width;
    const double thick = 4.5 + 3.5 * m.round;
    const double h = 15 * m.open;
    const double innerHalf = std::max(halfWidth - thick * (0.8 + m.round), 6.0);

    // Lips: the outer outline, with a dip in the upper lip's middle.
    QPainterPath outer = Lens(c, halfWidth, h * 0.8 + thick + 2, h * 1.2 + thick + 3, m.round);
    QPainterPath dip;
    dip.addEllipse(QPointF(c.x(), c.y() - h * 0.8 - thick - 3.2), 3.2, 2.2);
    outer = outer.subtracted(dip);

    // A soft shadow under the lower lip.
    p.setPen(Qt::NoPen);
    p.setBrush(skin.darker(112));
    p.drawEllipse(QPointF(c.x(), c.y() + h * 1.2 + thick + 5), halfWidth * 0.55, 3.5);

    p.setBrush(lip);
    p.setPen(QPen(lipEdge, 1.2));
    p.drawPath(outer);

    if (h < 0.5) {
        // Lips pressed together: only the line between them shows.
        QPainterPath seam;
        seam.moveTo(c.x() - halfWidth + 2, c.y());
        seam.cubicTo(c.x() - halfWidth * 0.4, c.y() + 1.5, c.x() + halfWidth * 0.4, c.y() + 1.5, c.x() + halfWidth - 2,
                     c.y());
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(lipEdge.darker(130), 1.6, Qt::SolidLine, Qt::RoundCap));
        p.drawPath(seam);
        return img;
    }

    const QPainterPath opening = Lens(c, innerHalf, h * 0.8, h * 1.2, m.round);
    p.setPen(Qt::NoPen);
    p.setBrush(inside);
    p.drawPath(opening);

    p.save();
    p.setClipPath(opening);
    const QRectF box = opening.boundingRect();
    if (m.tongue == 1)
        p.setBrush(tongue), p.drawEllipse(QPointF(c.x(), box.bottom()), innerHalf * 0.7, h * 0.7);
    if (m.tongue == 2)
        p.setBrush(tongue), p.drawEllipse(QPointF(c.x(), box.bottom() - h * 0.5), innerHalf * 0.45, h * 0.9);
    p.setBrush(Qt::white);
    const double teeth = std::min(4.5, box.height() * 0.45);
    if (m.upperTeeth)
        p.drawRect(QRectF(box.left(), box.top(), box.width(), teeth));
    if (m.lowerTeeth)
        p.drawRect(QRectF(box.left(), box.bottom() - teeth * 0.8, box.width(), teeth * 0.8));
    // Gaps between the front teeth.
    p.setPen(QPen(QColor(0xC8, 0xC8, 0xC8), 0.8));
    for (int i = -2; i <= 2; ++i) {
        const double x = c.x() + i * 5.5;
        if (m.upperTeeth)
            p.drawLine(QPointF(x, box.top()), QPointF(x, box.top() + teeth));
        if (m.lowerTeeth)
            p.drawLine(QPointF(x, box.bottom()), QPointF(x, box.bottom() - teeth * 0.8));
    }
    p.setPen(Qt::NoPen);
    if (m.tongue == 3)
        p.setBrush(tongue), p.drawEllipse(QPointF(c.x(), c.y() + h * 0.2), innerHalf * 0.5, std::max(h * 0.55, 2.5));
    p.restore();

    if (m.lipOnTeeth) {
        // The upper teeth rest on the lower lip.
        p.setBrush(Qt::white);
        p.setPen(QPen(QColor(0xC8, 0xC8, 0xC8), 0.8));
        p.drawRoundedRect(QRectF(c.x() - innerHalf * 0.7, c.y() - 1, innerHalf * 1.4, 4.5), 1.5, 1.5);
    }
    return img;
}

// The program's icon, drawn on a 256-unit grid and scaled to the size asked for.
QImage ProgramIcon(int size)
{
    QImage img(size, size, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 256.0, size / 256.0);

    QLinearGradient tile(0, 16, 0, 240);
    tile.setColorAt(0, QColor(0x3A, 0x7B, 0xE0));
    tile.setColorAt(1, QColor(0x1C, 0x4C, 0xA8));
    p.setPen(Qt::NoPen);
    p.setBrush(tile);
    p.drawRoundedRect(QRectF(12, 12, 232, 232), 44, 44);

    // The letter, with its flap folded down to the middle.
    const QRectF letter(34, 52, 168, 116);
    p.setBrush(Qt::white);
    p.drawRoundedRect(letter, 10, 10);
    QPainterPath flap;
    flap.moveTo(letter.left() + 6, letter.top() + 8);
    flap.lineTo(letter.center().x(), letter.top() + 70);
    flap.lineTo(letter.right() - 6, letter.top() + 8);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0xA8, 0xBE, 0xE0), 9, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(flap);

    // The call disc over the letter's corner, ringed in the tile's blue so it stands apart.
    const QPointF disc(178, 178);
    p.setPen(QPen(QColor(0x1C, 0x4C, 0xA8), 10));
    QRadialGradient green(disc - QPointF(12, 14), 70);
    green.setColorAt(0, kGreen.lighter(125));
    green.setColorAt(1, kGreen.darker(110));
    p.setBrush(green);
    p.drawEllipse(disc, 58, 58);
    DrawHandset(p, disc + QPointF(0, 2), 2.0, -35, Qt::white);
    return img;
}

bool Save(const QImage& img, const QDir& folder, const QString& name)
{
    const QString path = folder.filePath(name);
    if (!img.save(path, name.endsWith(QLatin1String(".png")) ? "PNG" : "BMP")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s: %dx%d\n", qPrintable(path), img.width(), img.height());
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    // Pictures are drawn into memory; no window system is needed.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const OutputFolderArgument argument = ReadOutputFolderArgument(
        argc, argv,
        "Draws the program's pictures: the telephone icons, the button faces, a mouth for each\n"
        "viseme of the talking face and the program's icon in six sizes.");
    if (argument.exitCode >= 0)
        return argument.exitCode;
    QGuiApplication app(argc, argv);
    const QDir folder(QString::fromLocal8Bit(argument.folder.c_str()));
    if (!folder.exists() && !QDir().mkpath(folder.path())) {
        std::fprintf(stderr, "cannot make %s\n", qPrintable(folder.path()));
        return 1;
    }

    bool ok = Save(PhoneIcon(true), folder, QStringLiteral("phoneon.bmp"))
              && Save(PhoneIcon(false), folder, QStringLiteral("phoneoff.bmp"))
              && Save(Button(true), folder, QStringLiteral("onbutton.bmp"))
              && Save(Button(false), folder, QStringLiteral("offbutton.bmp"));
    for (int v = 1; ok && v <= 21; ++v)
        ok = Save(MouthPicture(kMouths[v - 1]), folder, QStringLiteral("mouth%1.bmp").arg(v, 2, 10, QLatin1Char('0')));
    for (int size : {16, 32, 48, 64, 128, 256})
        ok = ok && Save(ProgramIcon(size), folder, QStringLiteral("korvalen-%1.png").arg(size));
    return ok ? 0 : 1;
}

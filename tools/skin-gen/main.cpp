// Draws Pim's skin images and writes them, with the resource file that names
// them, into the folder given: skin-gen OUTDIR
#include "resources/SkinBox.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QTextStream>
#include <cmath>
#include <cstdio>

namespace {

const QColor kLime(0x00, 0xFF, 0x00);

// An envelope centred at `c`, `w` wide.
void Envelope(QPainter& p, QPointF c, double w, const QColor& paper, const QColor& line) {
    const double h = w * 0.66;
    const QRectF body(c.x() - w / 2, c.y() - h / 2, w, h);
    p.setPen(QPen(line, std::max(1.0, w / 14)));
    p.setBrush(paper);
    p.drawRoundedRect(body, w / 12, w / 12);
    QPainterPath flap;
    flap.moveTo(body.topLeft());
    flap.lineTo(c.x(), c.y() + h * 0.08);
    flap.lineTo(body.topRight());
    p.setBrush(Qt::NoBrush);
    p.drawPath(flap);
}

// The check button and tray icon: a blue sphere carrying a letter. Frames 1..7
// turn the light round it (busy), 8..12 make it brighter (mail waiting).
QImage Sphere(int size, int frame) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const double s = size;
    const double angle =
        (frame >= 1 && frame <= 7) ? (frame - 1) * 2 * M_PI / 7 - M_PI * 0.75 : -M_PI * 0.75;
    const QPointF light(s / 2 + s * 0.22 * std::cos(angle), s / 2 + s * 0.22 * std::sin(angle));
    const int glow = frame >= 8 ? (frame - 7) * 22 : 0;
    QRadialGradient g(light, s * 0.62);
    g.setColorAt(0, QColor(std::min(255, 0xC8 + glow), std::min(255, 0xE6 + glow / 2), 0xFF));
    g.setColorAt(0.45, QColor(std::min(255, 0x3A + glow), std::min(255, 0x78 + glow), 0xF0));
    g.setColorAt(1, QColor(0x0A, std::min(255, 0x22 + glow / 2), std::min(255, 0x70 + glow)));
    p.setPen(QPen(QColor(0x06, 0x16, 0x48), std::max(1.0, s / 24)));
    p.setBrush(g);
    p.drawEllipse(QRectF(s * 0.04, s * 0.04, s * 0.92, s * 0.92));
    Envelope(p, {s / 2, s * 0.54}, s * 0.5, QColor(255, 255, 255, 235), QColor(0x20, 0x40, 0x90));
    return image;
}

QImage Caption(bool active) {
    QImage image(319, 15, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient g(0, 0, 319, 0);
    g.setColorAt(0, active ? QColor(0x10, 0x30, 0x90) : QColor(0x70, 0x70, 0x78));
    g.setColorAt(1, active ? QColor(0x70, 0xB0, 0xF0) : QColor(0xC8, 0xC8, 0xCC));
    p.fillRect(image.rect(), g);
    p.setPen(Qt::white);
    QFont font(QStringLiteral("Sans"));
    font.setPixelSize(11);
    font.setBold(true);
    p.setFont(font);
    p.drawText(QRect(6, 0, 300, 15), Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("Pim"));
    return image;
}

// The panel's metal at height y, so that a button's corners melt into it.
QColor MetalAt(double y) {
    const QColor top(0xE4, 0xE6, 0xEA), middle(0xB4, 0xB8, 0xC0), bottom(0x9A, 0x9E, 0xA8);
    const auto mix = [](const QColor& a, const QColor& b, double t) {
        return QColor::fromRgbF(a.redF() + (b.redF() - a.redF()) * t,
                                a.greenF() + (b.greenF() - a.greenF()) * t,
                                a.blueF() + (b.blueF() - a.blueF()) * t);
    };
    const double t = y / 300;
    return t < 0.5 ? mix(top, middle, t * 2) : mix(middle, bottom, (t - 0.5) * 2);
}

// A swirl: a spiral of a few turns round the button's middle.
void Swirl(QPainter& p, const QColor& colour) {
    QPainterPath path;
    for (int i = 0; i <= 120; ++i) {
        const double a = -M_PI / 2 + i * (1.6 * 2 * M_PI) / 120;
        const double r = 13 - i * 0.055;
        const QPointF at(16 + r * std::cos(a), 16 + r * std::sin(a));
        i == 0 ? path.moveTo(at) : path.lineTo(at);
    }
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(colour, 2.2, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(path);
}

// A metal gear of eight teeth centred at `c`, `r` to the teeth's tips, its
// hole filled with `hubColour`.
void Gear(QPainter& p, QPointF c, double r, const QColor& ink, const QColor& hubColour) {
    QPainterPath gear;
    const double tooth = r * 0.4;
    for (int i = 0; i < 8; ++i) {
        QTransform t;
        t.translate(c.x(), c.y());
        t.rotateRadians(i * M_PI / 4);
        QPainterPath one;
        one.addRect(QRectF(-tooth / 2, -r, tooth, r * 0.55));
        gear.addPath(t.map(one));
    }
    gear.addEllipse(c, r * 0.7, r * 0.7);
    gear = gear.simplified();
    QPainterPath hole;
    hole.addEllipse(c, r * 0.27, r * 0.27);
    QRadialGradient metal(c - QPointF(r * 0.27, r * 0.33), r * 1.33);
    metal.setColorAt(0, QColor(0xF4, 0xF4, 0xF8));
    metal.setColorAt(1, QColor(0x78, 0x80, 0x90));
    p.setPen(QPen(ink, 1));
    p.setBrush(metal);
    p.drawPath(gear.subtracted(hole));
    p.setBrush(hubColour);
    p.drawPath(hole);
}

// The option button (a gear, the settings, its hub the button's yellow-green)
// and the information button (a mailbox in a blue swirl); pressed, the tile is
// darker and sunken.
QImage Button(bool information, bool pressed) {
    QImage image(32, 32, QImage::Format_RGB32);
    image.fill(MetalAt(68));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient tile(0, 0, 0, 32);
    tile.setColorAt(0, pressed ? QColor(0x88, 0x8C, 0x96) : QColor(0xFA, 0xFA, 0xFC));
    tile.setColorAt(1, pressed ? QColor(0xB0, 0xB4, 0xBC) : QColor(0xA8, 0xAC, 0xB6));
    p.setPen(QPen(QColor(0x50, 0x54, 0x60), 1));
    p.setBrush(tile);
    p.drawRoundedRect(QRectF(0.5, 0.5, 31, 31), 6, 6);
    p.setPen(QPen(pressed ? QColor(0x60, 0x64, 0x70) : QColor(255, 255, 255, 200), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(1.5, 1.5, 29, 29), 5, 5);
    if (information) {
        Swirl(p, QColor(0x20, 0x70, 0xE0));
        // A mailbox on its post, its red flag up.
        p.setPen(QPen(QColor(0x20, 0x28, 0x40), 1));
        p.setBrush(QColor(0x50, 0x60, 0x78));
        p.drawRect(QRectF(14.5, 19, 3, 7));
        QLinearGradient box(0, 10, 0, 20);
        box.setColorAt(0, QColor(0x70, 0xA8, 0xF8));
        box.setColorAt(1, QColor(0x20, 0x50, 0xB8));
        p.setBrush(box);
        QPainterPath body;
        body.moveTo(9, 20);
        body.lineTo(9, 14);
        body.arcTo(QRectF(9, 10, 14, 8), 180, -180);
        body.lineTo(23, 20);
        body.closeSubpath();
        p.drawPath(body);
        p.setBrush(QColor(0xE8, 0x20, 0x20));
        p.drawRect(QRectF(20, 8, 1.8, 7));
        p.drawRect(QRectF(20, 8, 4, 2.5));
    } else {
        Gear(p, pressed ? QPointF(16.5, 16.5) : QPointF(16, 16), 12.5, QColor(0x30, 0x38, 0x48),
             QColor(0x90, 0xC8, 0x10));
    }
    return image;
}

// The tree images: mailbox, mailbox with a failure mark, letter, faded
// letter, failure mark, person, clock. Lime is transparent. A failure is a
// white cross on a red disc, never a tick, which reads as success.
QImage TreeImage(int index) {
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(kLime);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const auto failure = [&](QRectF disc) {
        p.setPen(QPen(QColor(0x80, 0x00, 0x00), 1));
        p.setBrush(QColor(0xE0, 0x18, 0x18));
        p.drawEllipse(disc);
        const qreal arm = disc.width() * 0.22;
        const QPointF c = disc.center();
        p.setPen(QPen(Qt::white, disc.width() > 10 ? 2.0 : 1.6, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(c + QPointF(-arm, -arm), c + QPointF(arm, arm));
        p.drawLine(c + QPointF(-arm, arm), c + QPointF(arm, -arm));
    };
    switch (index) {
    case 0:
    case 1:
        p.setPen(QPen(QColor(0x20, 0x20, 0x30), 1));
        p.setBrush(QColor(0x30, 0x70, 0xD0));
        p.drawRoundedRect(QRectF(2, 4, 12, 8), 3, 3);
        p.drawLine(QPointF(8, 12), QPointF(8, 15));
        if (index == 1)
            failure({7.5, 7.5, 8, 8});
        break;
    case 2:
        Envelope(p, {8, 8}, 13, Qt::white, QColor(0x20, 0x40, 0x90));
        break;
    case 3:
        Envelope(p, {8, 8}, 13, QColor(0xE8, 0xE8, 0xE8), QColor(0xA0, 0xA8, 0xB8));
        break;
    case 4:
        failure({1.5, 1.5, 13, 13});
        break;
    case 5:
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x40, 0x60, 0x90));
        p.drawEllipse(QRectF(5, 1.5, 6, 6));
        p.drawRoundedRect(QRectF(3, 8.5, 10, 6.5), 3, 3);
        break;
    default:
        p.setPen(QPen(QColor(0x20, 0x20, 0x30), 1.2));
        p.setBrush(Qt::white);
        p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
        p.drawLine(QPointF(8, 8), QPointF(8, 4));
        p.drawLine(QPointF(8, 8), QPointF(11, 9.5));
        break;
    }
    return image;
}

// The 350 x 300 panel behind the controls: grey metal, a well behind the check
// button, black boxes behind the status strip, the count and the date, and
// black panels behind the two trees.
QImage Background() {
    QImage image(350, 300, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient metal(0, 0, 0, 300);
    metal.setColorAt(0, MetalAt(0));
    metal.setColorAt(0.5, MetalAt(150));
    metal.setColorAt(1, MetalAt(300));
    p.fillRect(image.rect(), metal);
    // Fine brushed lines.
    for (int y = 0; y < 300; y += 2) {
        p.setPen(QColor(255, 255, 255, y % 4 ? 18 : 10));
        p.drawLine(0, y, 350, y);
    }
    p.setPen(QPen(QColor(0x60, 0x64, 0x70), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(0.5, 0.5, 349, 299), 9, 9);
    Envelope(p, {12, 15}, 13, Qt::white, QColor(0x20, 0x40, 0x90));
    // The well behind the check button.
    QRadialGradient well(QPointF(34, 55), 24);
    well.setColorAt(0, QColor(0x20, 0x24, 0x30));
    well.setColorAt(1, QColor(0x50, 0x54, 0x60));
    p.setPen(QPen(QColor(0xF0, 0xF0, 0xF4), 1));
    p.setBrush(well);
    p.drawEllipse(QRectF(13, 34, 42, 42));
    const auto box = [&](QRectF r) { pim::DrawSkinBox(p, r); };
    box({63, 31, 271, 16});
    // Right of the slanted joint, so that the folded window shows no part of it.
    box({135, 72, 43, 18});
    Envelope(p, {143, 81}, 11, QColor(0xC0, 0xFF, 0xC0), QColor(0x00, 0x80, 0x00));
    box({181, 72, 120, 18});
    // A small calendar before the date.
    p.setPen(QPen(QColor(0x00, 0xC0, 0x00), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(185.5, 76.5, 10, 10));
    p.drawLine(QPointF(185.5, 79.5), QPointF(195.5, 79.5));
    box({11, 97, 328, 60});
    box({11, 155, 328, 139});
    return image;
}

// The pictures in the headers of the options pages: accounts (a person by a
// mailbox), customising (a gear), the schedule (a clock) and the LAN (two
// screens joined by a cable).
QImage OptionIcon(int page) {
    QImage image(32, 32, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::black); // the header panel is black
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor ink(0x10, 0x18, 0x30);
    switch (page) {
    case 0: {
        p.setPen(QPen(ink, 1));
        QLinearGradient box(0, 10, 0, 24);
        box.setColorAt(0, QColor(0x60, 0xA0, 0xF0));
        box.setColorAt(1, QColor(0x20, 0x50, 0xB0));
        p.setBrush(box);
        p.drawRoundedRect(QRectF(13, 9, 17, 12), 5, 5);
        p.setBrush(QColor(0x90, 0x90, 0x98));
        p.drawRect(QRectF(20, 21, 3, 9));
        p.setBrush(QColor(0xE0, 0x30, 0x20));
        p.drawRect(QRectF(26, 5, 2, 7));
        p.setBrush(QColor(0xF0, 0xC8, 0x90));
        p.drawEllipse(QRectF(3, 6, 9, 9));
        p.setBrush(QColor(0x40, 0xA0, 0x40));
        p.drawRoundedRect(QRectF(1, 16, 13, 14), 5, 5);
        break;
    }
    case 1:
        Gear(p, {16, 16}, 15, ink, Qt::black); // the header shows through
        break;
    case 2: {
        QRadialGradient face(QPointF(12, 11), 18);
        face.setColorAt(0, Qt::white);
        face.setColorAt(1, QColor(0xC8, 0xD4, 0xE8));
        p.setPen(QPen(QColor(0x30, 0x60, 0xC0), 2.5));
        p.setBrush(face);
        p.drawEllipse(QRectF(2.5, 2.5, 27, 27));
        p.setPen(QPen(ink, 1));
        for (int h = 0; h < 12; ++h) {
            const double a = h * M_PI / 6;
            p.drawLine(QPointF(16 + 10 * std::cos(a), 16 + 10 * std::sin(a)),
                       QPointF(16 + 11.5 * std::cos(a), 16 + 11.5 * std::sin(a)));
        }
        p.setPen(QPen(ink, 2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(16, 16), QPointF(16, 8));
        p.drawLine(QPointF(16, 16), QPointF(22, 19));
        p.setPen(QPen(QColor(0xE0, 0x20, 0x20), 1));
        p.drawLine(QPointF(16, 16), QPointF(10, 24));
        break;
    }
    default: {
        const auto screen = [&](QRectF r) {
            p.setPen(QPen(ink, 1));
            p.setBrush(QColor(0xD8, 0xDC, 0xE4));
            p.drawRoundedRect(r, 1.5, 1.5);
            QLinearGradient glass(r.topLeft(), r.bottomRight());
            glass.setColorAt(0, QColor(0x80, 0xC0, 0xFF));
            glass.setColorAt(1, QColor(0x10, 0x40, 0xA0));
            p.setBrush(glass);
            p.setPen(Qt::NoPen);
            p.drawRect(r.adjusted(2, 2, -2, -2));
            p.setBrush(QColor(0xA0, 0xA4, 0xB0));
            p.drawRect(QRectF(r.center().x() - 2, r.bottom(), 4, 2));
            p.drawRect(QRectF(r.center().x() - 5, r.bottom() + 2, 10, 1.5));
        };
        p.setPen(QPen(QColor(0xF0, 0xD0, 0x20), 1.5));
        p.drawLine(QPointF(8, 22), QPointF(8, 29));
        p.drawLine(QPointF(8, 29), QPointF(24, 29));
        p.drawLine(QPointF(24, 29), QPointF(24, 22));
        screen({1, 3, 15, 12});
        screen({16, 9, 15, 12});
        break;
    }
    }
    return image;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: skin-gen OUTDIR\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    QDir().mkpath(out.path());
    QStringList names;
    const auto save = [&](const QString& name, const QImage& image) {
        if (!image.save(out.filePath(name + QStringLiteral(".png"))))
            std::exit(1);
        names << name;
    };
    for (int n = 1; n <= 13; ++n) {
        save(QStringLiteral("MAIN_ICON_%1").arg(n), Sphere(32, n - 1));
        save(QStringLiteral("TASK_ICON_%1").arg(n), Sphere(16, n - 1));
    }
    for (int n = 1; n <= 2; ++n) {
        save(QStringLiteral("MAIN_CAPTION_%1").arg(n), Caption(n == 1));
        save(QStringLiteral("OPTION_BUTTON_%1").arg(n), Button(false, n == 2));
        save(QStringLiteral("INFORMATION_BUTTON_%1").arg(n), Button(true, n == 2));
    }
    for (int n = 1; n <= 7; ++n)
        save(QStringLiteral("MAIN_INFORMATION_%1").arg(n), TreeImage(n - 1));
    for (int n = 1; n <= 4; ++n)
        save(QStringLiteral("OPTION_ICON_%1").arg(n), OptionIcon(n - 1));
    save(QStringLiteral("MAIN_BACKGROUND"), Background());

    QFile qrc(out.filePath(QStringLiteral("skin.qrc")));
    if (!qrc.open(QIODevice::WriteOnly))
        return 1;
    QTextStream text(&qrc);
    text << "<RCC><qresource prefix=\"/skin\">\n";
    for (const QString& name : names)
        text << "  <file alias=\"" << name << "\">" << name << ".png</file>\n";
    text << "</qresource></RCC>\n";
    return 0;
}

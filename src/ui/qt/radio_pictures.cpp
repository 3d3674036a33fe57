#include "ui/qt/radio_pictures.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRect>

namespace aurex {

namespace {

// Every drawing is made on a 100 x 100 canvas, then fitted into the control keeping its shape.
void FitCanvas(QPainter& p, const QRect& area, double width, double height)
{
    const double scale = std::min(area.width() / width, area.height() / height);
    p.translate(area.x() + (area.width() - width * scale) / 2.0,
                area.y() + (area.height() - height * scale) / 2.0);
    p.scale(scale, scale);
}

void Display(QPainter& p, const QRectF& r, const QString& text)
{
    QLinearGradient lcd(r.topLeft(), r.bottomLeft());
    lcd.setColorAt(0, QColor(0xB8, 0xD8, 0x9C));
    lcd.setColorAt(1, QColor(0x8F, 0xB8, 0x74));
    p.setPen(QPen(QColor(0x20, 0x20, 0x20), 0.8));
    p.setBrush(lcd);
    p.drawRoundedRect(r, 1.5, 1.5);
    QFont f = p.font();
    f.setPointSizeF(r.height() * 0.45);
    f.setBold(true);
    p.setFont(f);
    p.setPen(QColor(0x1E, 0x32, 0x1A));
    p.drawText(r, Qt::AlignCenter, text);
}

void Knob(QPainter& p, QPointF centre, double radius, const QColor& colour)
{
    QRadialGradient g(centre - QPointF(radius / 3, radius / 3), radius * 1.4);
    g.setColorAt(0, colour.lighter(170));
    g.setColorAt(1, colour);
    p.setPen(QPen(Qt::black, 0.6));
    p.setBrush(g);
    p.drawEllipse(centre, radius, radius);
    p.setPen(QPen(colour.lighter(220), 0.8));
    p.drawLine(centre, centre + QPointF(0, -radius * 0.8));
}

// A hand-held radio: antenna, body, display, keys. "G" radios have the full keypad.
void PaintPortable(QPainter& p, const QRect& area, bool fullKeypad)
{
    FitCanvas(p, area, 60, 100);
    const QColor body = fullKeypad ? QColor(0x2E, 0x33, 0x3A) : QColor(0x3C, 0x3F, 0x36);

    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x18, 0x18, 0x18));
    p.drawRoundedRect(QRectF(14, 2, 6, 30), 3, 3); // antenna
    Knob(p, QPointF(33, 22), 4, QColor(0x50, 0x50, 0x50));
    p.setBrush(QColor(0xD0, 0x30, 0x20));
    p.drawRect(QRectF(41, 19, 7, 5)); // emergency key

    QLinearGradient shade(QPointF(10, 0), QPointF(52, 0));
    shade.setColorAt(0, body.lighter(135));
    shade.setColorAt(0.5, body);
    shade.setColorAt(1, body.darker(140));
    p.setPen(QPen(Qt::black, 0.8));
    p.setBrush(shade);
    p.drawRoundedRect(QRectF(10, 27, 42, 71), 6, 6);

    p.setPen(QPen(body.darker(170), 0.5)); // speaker grille
    for (int i = 0; i < 5; ++i) {
        p.drawLine(QPointF(18, 33 + i * 2.4), QPointF(44, 33 + i * 2.4));
    }
    Display(p, QRectF(16, 46, 30, 11), fullKeypad ? "CH 12" : "CH 4");

    const int rows = fullKeypad ? 4 : 1;
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < 3; ++c) {
            p.setPen(QPen(Qt::black, 0.4));
            p.setBrush(QColor(0xB8, 0xBC, 0xC2));
            p.drawRoundedRect(QRectF(16 + c * 10.5, 61 + r * 8.5, 8.5, 6), 1.5, 1.5);
        }
    }
    if (!fullKeypad) {
        p.setBrush(body.lighter(160));
        p.drawRoundedRect(QRectF(20, 74, 22, 12), 4, 4); // navigation rocker
    }
}

// A vehicle radio: a wide front panel with display, knobs and keys. "G" radios have a larger
// display and a row of soft keys.
void PaintMobile(QPainter& p, const QRect& area, bool largeDisplay)
{
    FitCanvas(p, area, 100, 60);
    const QColor body = largeDisplay ? QColor(0x2B, 0x2F, 0x36) : QColor(0x38, 0x3A, 0x33);

    p.setPen(QPen(Qt::black, 0.8));
    p.setBrush(QColor(0x55, 0x58, 0x5E));
    p.drawRect(QRectF(8, 14, 84, 38)); // chassis behind the panel
    QLinearGradient face(QPointF(0, 10), QPointF(0, 50));
    face.setColorAt(0, body.lighter(140));
    face.setColorAt(1, body.darker(130));
    p.setBrush(face);
    p.drawRoundedRect(QRectF(2, 10, 96, 36), 5, 5);

    Knob(p, QPointF(13, 28), 7, QColor(0x44, 0x44, 0x44));
    Knob(p, QPointF(87, 28), 7, QColor(0x44, 0x44, 0x44));
    if (largeDisplay) {
        Display(p, QRectF(25, 15, 50, 15), "ZONE 1  CH 12");
        for (int i = 0; i < 4; ++i) {
            p.setPen(QPen(Qt::black, 0.4));
            p.setBrush(QColor(0xB8, 0xBC, 0xC2));
            p.drawRoundedRect(QRectF(25 + i * 13, 34, 11, 6), 1.5, 1.5);
        }
    } else {
        Display(p, QRectF(30, 16, 40, 12), "CH 4");
        for (int i = 0; i < 3; ++i) {
            p.setPen(QPen(Qt::black, 0.4));
            p.setBrush(QColor(0xB8, 0xBC, 0xC2));
            p.drawEllipse(QPointF(38 + i * 12, 37), 3.2, 3.2);
        }
    }
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x30, 0xC0, 0x40));
    p.drawEllipse(QPointF(25, 42), 1.3, 1.3); // power light
}

// Our logo: a mast sending waves beside the word mark.
void PaintLogo(QPainter& p, const QRect& area)
{
    FitCanvas(p, area, 186, 60);
    const QColor blue(0x1F, 0x4E, 0x8C);
    const QColor orange(0xE8, 0x7A, 0x1E);

    p.setPen(QPen(blue, 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(26, 52), QPointF(26, 20));
    p.drawLine(QPointF(18, 52), QPointF(26, 34));
    p.drawLine(QPointF(34, 52), QPointF(26, 34));
    p.setBrush(orange);
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(26, 17), 4, 4);
    p.setBrush(Qt::NoBrush);
    for (int i = 1; i <= 3; ++i) {
        p.setPen(QPen(orange, 2.2, Qt::SolidLine, Qt::RoundCap));
        const double r = 6.0 + i * 5.5;
        p.drawArc(QRectF(26 - r, 17 - r, 2 * r, 2 * r), -45 * 16, 90 * 16);
        p.drawArc(QRectF(26 - r, 17 - r, 2 * r, 2 * r), 135 * 16, 90 * 16);
    }

    QFont f("Sans Serif");
    f.setPixelSize(30);
    f.setBold(true);
    f.setLetterSpacing(QFont::AbsoluteSpacing, 2);
    p.setFont(f);
    p.setPen(blue);
    p.drawText(QRectF(56, 6, 130, 36), Qt::AlignLeft | Qt::AlignVCenter, "AUREX");
    QFont small("Sans Serif");
    small.setPixelSize(10);
    small.setLetterSpacing(QFont::AbsoluteSpacing, 1.5);
    p.setFont(small);
    p.setPen(QColor(0x55, 0x55, 0x55));
    p.drawText(QRectF(58, 40, 128, 14), Qt::AlignLeft | Qt::AlignVCenter, "RADIO SYSTEMS");
}

} // namespace

bool PaintPicture(QPainter& painter, const QRect& area, std::string_view pictureName)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    bool painted = true;
    if (pictureName == "PortableGPicture") {
        PaintPortable(painter, area, true);
    } else if (pictureName == "PortableXPicture") {
        PaintPortable(painter, area, false);
    } else if (pictureName == "MobileGPicture") {
        PaintMobile(painter, area, true);
    } else if (pictureName == "MobileXPicture") {
        PaintMobile(painter, area, false);
    } else if (pictureName == "Image1") {
        PaintLogo(painter, area);
    } else {
        painted = false;
    }
    painter.restore();
    return painted;
}

} // namespace aurex

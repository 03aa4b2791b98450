// Draws the program's logo and USB status images into Config/.
// Build and run: see scripts/artwork/README.md.
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace {

const QColor ink(255, 255, 255);

// The USB trident: a stem with a circle at its foot, and three arms ending in an arrow, a circle
// and a square, scaled into `box`.
void drawUsbSymbol(QPainter &p, const QRectF &box, const QColor &color)
{
    p.save();
    p.translate(box.topLeft());
    p.scale(box.width() / 24.0, box.height() / 16.0);
    QPen pen(color, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawLine(QPointF(3, 8), QPointF(20, 8)); // stem, left to right
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawEllipse(QPointF(3, 8), 2.4, 2.4);
    QPainterPath arrow;
    arrow.moveTo(23.5, 8);
    arrow.lineTo(19.5, 5.6);
    arrow.lineTo(19.5, 10.4);
    arrow.closeSubpath();
    p.drawPath(arrow);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF({ QPointF(7, 8), QPointF(10, 3.5), QPointF(14, 3.5) }));
    p.drawPolyline(QPolygonF({ QPointF(9.5, 8), QPointF(12.5, 12.5), QPointF(15, 12.5) }));
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawEllipse(QPointF(15.2, 3.5), 1.6, 1.6);
    p.drawRect(QRectF(14.6, 11.2, 2.6, 2.6));
    p.restore();
}

QImage statusImage(bool connected)
{
    QImage image(91, 25, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF pill(0.5, 0.5, 90, 24);
    QLinearGradient fill(0, 0, 0, 25);
    if (connected) {
        fill.setColorAt(0, QColor(64, 186, 112));
        fill.setColorAt(1, QColor(34, 140, 78));
    } else {
        fill.setColorAt(0, QColor(176, 176, 176));
        fill.setColorAt(1, QColor(136, 136, 136));
    }
    p.setPen(QPen(connected ? QColor(26, 110, 60) : QColor(112, 112, 112), 1));
    p.setBrush(fill);
    p.drawRoundedRect(pill, 12, 12);

    drawUsbSymbol(p, QRectF(10, 5, 24, 15), ink);
    QFont font("DejaVu Sans");
    font.setPixelSize(12);
    font.setBold(true);
    p.setFont(font);
    p.setPen(ink);
    p.drawText(QRectF(38, 0, 50, 25), Qt::AlignVCenter | Qt::AlignLeft, "USB");

    // A dot on the right: lit when a device answers, hollow when none is there.
    const QPointF dot(80, 12.5);
    if (connected) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(210, 255, 220));
        p.drawEllipse(dot, 3.5, 3.5);
    } else {
        p.setPen(QPen(ink, 1.4));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(dot, 3, 3);
    }
    return image;
}

void drawWaves(QPainter &p, const QPointF &centre, const QColor &color)
{
    for (int i = 1; i <= 3; ++i) {
        const qreal r = 10.0 * i;
        QColor c = color;
        c.setAlphaF(1.0 - 0.22 * i);
        p.setPen(QPen(c, 3, Qt::SolidLine, Qt::RoundCap));
        const QRectF arc(centre.x() - r, centre.y() - r, 2 * r, 2 * r);
        p.drawArc(arc, 30 * 16, 120 * 16);
    }
}

QImage logoImage()
{
    QImage image(180, 330, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient background(0, 0, 0, 330);
    background.setColorAt(0, QColor(28, 62, 112));
    background.setColorAt(1, QColor(12, 30, 60));
    p.fillRect(image.rect(), background);

    // A transmitter: a rounded body with an antenna, sending waves.
    const QRectF body(55, 120, 70, 48);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(235, 242, 250));
    p.drawRoundedRect(body, 9, 9);
    p.setBrush(QColor(28, 62, 112));
    p.drawRoundedRect(QRectF(66, 131, 30, 12), 3, 3);
    p.setBrush(QColor(72, 196, 124));
    p.drawEllipse(QPointF(110, 137), 4.5, 4.5);
    p.setBrush(QColor(235, 242, 250));
    p.drawRoundedRect(QRectF(101, 82, 6, 40), 3, 3);
    drawWaves(p, QPointF(104, 82), QColor(150, 200, 255));
    p.setBrush(QColor(120, 140, 170));
    p.drawRoundedRect(QRectF(64, 158, 52, 4), 2, 2);

    QFont title("DejaVu Sans");
    title.setPixelSize(34);
    title.setBold(true);
    p.setFont(title);
    p.setPen(ink);
    p.drawText(QRectF(0, 196, 180, 44), Qt::AlignCenter, "Tarvo");
    QFont subtitle("DejaVu Sans");
    subtitle.setPixelSize(13);
    subtitle.setLetterSpacing(QFont::AbsoluteSpacing, 1.5);
    p.setFont(subtitle);
    p.setPen(QColor(170, 195, 230));
    p.drawText(QRectF(0, 238, 180, 20), Qt::AlignCenter, "FIRMWARE");
    p.drawText(QRectF(0, 256, 180, 20), Qt::AlignCenter, "UPDATER");
    p.setPen(QPen(QColor(72, 196, 124), 2));
    p.drawLine(QPointF(70, 286), QPointF(110, 286));
    return image;
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("Config");
    const bool ok = logoImage().save(dir + "/logo.png") && statusImage(true).save(dir + "/ON.png")
            && statusImage(false).save(dir + "/OFF.png");
    return ok ? 0 : 1;
}

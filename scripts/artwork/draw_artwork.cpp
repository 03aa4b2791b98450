// Draws the program's logo and USB status images into Config/, and its desktop icon (SVG, PNGs and
// a Windows .ico) into packaging/. Build and run: see scripts/artwork/README.md.
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>

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
    p.drawPolyline(QPolygonF({QPointF(7, 8), QPointF(10, 3.5), QPointF(14, 3.5)}));
    p.drawPolyline(QPolygonF({QPointF(9.5, 8), QPointF(12.5, 12.5), QPointF(15, 12.5)}));
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

// The transmitter's waves: arcs from 30 to 150 degrees, fading outwards.
qreal waveOpacity(int i)
{
    return 1.0 - 0.22 * i;
}

void drawWaves(QPainter &p, const QPointF &centre, const QColor &color)
{
    for (int i = 1; i <= 3; ++i) {
        const qreal r = 10.0 * i;
        QColor c = color;
        c.setAlphaF(waveOpacity(i));
        p.setPen(QPen(c, 3, Qt::SolidLine, Qt::RoundCap));
        const QRectF arc(centre.x() - r, centre.y() - r, 2 * r, 2 * r);
        p.drawArc(arc, 30 * 16, 120 * 16);
    }
}

// A transmitter: a rounded body with an antenna, sending waves. The logo and the icon share it.
void drawTransmitter(QPainter &p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(235, 242, 250));
    p.drawRoundedRect(QRectF(55, 120, 70, 48), 9, 9);
    p.setBrush(QColor(28, 62, 112));
    p.drawRoundedRect(QRectF(66, 131, 30, 12), 3, 3);
    p.setBrush(QColor(72, 196, 124));
    p.drawEllipse(QPointF(110, 137), 4.5, 4.5);
    p.setBrush(QColor(235, 242, 250));
    p.drawRoundedRect(QRectF(101, 82, 6, 40), 3, 3);
    drawWaves(p, QPointF(104, 82), QColor(150, 200, 255));
    // Still with the outer wave's pen, which gives the foot its soft blue rim.
    p.setBrush(QColor(120, 140, 170));
    p.drawRoundedRect(QRectF(64, 158, 52, 4), 2, 2);
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

    drawTransmitter(p);

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

// The icon: the logo's transmitter on its blue ground, as a rounded square of 256 units. The PNGs
// are painted from drawTransmitter(); iconSvg() spells the same shapes out as SVG.
const qreal iconScale = 1.6;
const QPointF iconOffset(128 - 94.5 * iconScale, 128 - 110 * iconScale);

QImage iconImage(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 256.0, size / 256.0);
    QLinearGradient background(0, 16, 0, 240);
    background.setColorAt(0, QColor(28, 62, 112));
    background.setColorAt(1, QColor(12, 30, 60));
    p.setPen(Qt::NoPen);
    p.setBrush(background);
    p.drawRoundedRect(QRectF(16, 16, 224, 224), 40, 40);
    p.translate(iconOffset);
    p.scale(iconScale, iconScale);
    drawTransmitter(p);
    return image;
}

QString svgRect(qreal x, qreal y, qreal w, qreal h, qreal r, const QString &fill)
{
    return QStringLiteral("    <rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" rx=\"%5\" "
                          "fill=\"%6\"/>\n")
        .arg(x)
        .arg(y)
        .arg(w)
        .arg(h)
        .arg(r)
        .arg(fill);
}

QString iconSvg()
{
    QString svg
        = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                         "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"256\" height=\"256\" "
                         "viewBox=\"0 0 256 256\">\n"
                         "  <defs>\n"
                         "    <linearGradient id=\"ground\" x1=\"0\" y1=\"16\" x2=\"0\" y2=\"240\" "
                         "gradientUnits=\"userSpaceOnUse\">\n"
                         "      <stop offset=\"0\" stop-color=\"#1c3e70\"/>\n"
                         "      <stop offset=\"1\" stop-color=\"#0c1e3c\"/>\n"
                         "    </linearGradient>\n"
                         "  </defs>\n"
                         "  <rect x=\"16\" y=\"16\" width=\"224\" height=\"224\" rx=\"40\" "
                         "fill=\"url(#ground)\"/>\n");
    svg += QStringLiteral("  <g transform=\"translate(%1 %2) scale(%3)\">\n")
               .arg(iconOffset.x())
               .arg(iconOffset.y())
               .arg(iconScale);
    svg += svgRect(55, 120, 70, 48, 9, "#ebf2fa");
    svg += svgRect(66, 131, 30, 12, 3, "#1c3e70");
    svg += QStringLiteral("    <circle cx=\"110\" cy=\"137\" r=\"4.5\" fill=\"#48c47c\"/>\n");
    svg += svgRect(101, 82, 6, 40, 3, "#ebf2fa");
    for (int i = 1; i <= 3; ++i) {
        const qreal r = 10.0 * i;
        const QPointF from(104 + r * qCos(qDegreesToRadians(30.0)),
                           82 - r * qSin(qDegreesToRadians(30.0)));
        const QPointF to(104 + r * qCos(qDegreesToRadians(150.0)),
                         82 - r * qSin(qDegreesToRadians(150.0)));
        svg += QStringLiteral("    <path d=\"M %1 %2 A %3 %3 0 0 0 %4 %5\" fill=\"none\" "
                              "stroke=\"#96c8ff\" stroke-opacity=\"%6\" stroke-width=\"3\" "
                              "stroke-linecap=\"round\"/>\n")
                   .arg(from.x(), 0, 'f', 3)
                   .arg(from.y(), 0, 'f', 3)
                   .arg(r)
                   .arg(to.x(), 0, 'f', 3)
                   .arg(to.y(), 0, 'f', 3)
                   .arg(waveOpacity(i));
    }
    svg += QStringLiteral("    <rect x=\"64\" y=\"158\" width=\"52\" height=\"4\" rx=\"2\" "
                          "fill=\"#788caa\" stroke=\"#96c8ff\" stroke-opacity=\"%1\" "
                          "stroke-width=\"3\"/>\n")
               .arg(waveOpacity(3));
    svg += QStringLiteral("  </g>\n</svg>\n");
    return svg;
}

QByteArray png(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

void putLe(QByteArray &out, quint32 value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.append(char((value >> (8 * i)) & 0xff));
}

// A Windows icon holding PNG images (Vista and later read them), one per size.
QByteArray icoFile(const QList<int> &sizes)
{
    QByteArray header, images;
    putLe(header, 0, 2);
    putLe(header, 1, 2); // an icon, not a cursor
    putLe(header, quint32(sizes.size()), 2);
    quint32 offset = 6 + 16 * quint32(sizes.size());
    for (const int size : sizes) {
        const QByteArray image = png(iconImage(size));
        header.append(char(size >= 256 ? 0 : size)); // 0 means 256
        header.append(char(size >= 256 ? 0 : size));
        putLe(header, 0, 2); // no palette, reserved
        putLe(header, 1, 2); // colour planes
        putLe(header, 32, 2); // bits per pixel
        putLe(header, quint32(image.size()), 4);
        putLe(header, offset, 4);
        offset += quint32(image.size());
        images += image;
    }
    return header + images;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

bool drawIcons(const QString &dir)
{
    const QString id = QStringLiteral("org.tarvo.FirmwareUpdater");
    bool ok = writeFile(dir + "/icons/" + id + ".svg", iconSvg().toUtf8());
    for (const int size : {48, 128, 256})
        ok = ok
            && writeFile(QStringLiteral("%1/icons/%2/%3.png").arg(dir).arg(size).arg(id),
                         png(iconImage(size)));
    return ok && writeFile(dir + "/windows/firmware-updater.ico", icoFile({16, 32, 48, 256}));
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("Config");
    bool ok = logoImage().save(dir + "/logo.png") && statusImage(true).save(dir + "/ON.png")
        && statusImage(false).save(dir + "/OFF.png");
    if (argc > 2)
        ok = ok && drawIcons(QString::fromLocal8Bit(argv[2]));
    return ok ? 0 : 1;
}

// Draws the wiring schematic esquema.jpg from the pin tables the program
// uses: the parallel-port connector on the left, the three motor drivers on
// the right, the five switch inputs below.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QString>
#include <cstdio>

#include "port/Wiring.h"

namespace {

constexpr int kW = 1400;
constexpr int kH = 1000;
constexpr int kRow = 26;

QFont Font(int px, bool bold = false) {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(px);
    f.setBold(bold);
    return f;
}

struct Driver {
    const char* title;
    const char* note;
    int top;
};

void DrawDriver(QPainter& g, const Driver& d, const pm::wiring::Line* lines, int n, int connX,
                int busX, int connTop, QColor wire) {
    const int left = 760;
    const int width = 240;
    const int height = 40 + 4 * 34;
    g.setPen(QPen(Qt::black, 2));
    g.setBrush(QColor(245, 245, 255));
    g.drawRect(left, d.top, width, height);
    g.setFont(Font(15, true));
    g.drawText(QRect(left, d.top + 4, width, 20), Qt::AlignCenter, QString::fromUtf8(d.title));
    g.setFont(Font(12));
    g.drawText(QRect(left, d.top + 22, width, 18), Qt::AlignCenter, QString::fromUtf8(d.note));

    // The motor: four coils to the driver outputs, common to +12 V.
    const int mx = 1180;
    const int my = d.top + height / 2;
    g.setBrush(QColor(230, 230, 230));
    g.drawEllipse(QPoint(mx, my), 55, 55);
    g.setFont(Font(14, true));
    g.drawText(QRect(mx - 55, my - 12, 110, 24), Qt::AlignCenter,
               QString::fromUtf8(d.title).section(QLatin1Char(' '), -1) + QStringLiteral(" motor"));
    for (int k = 0; k < n; ++k) {
        const int y = d.top + 52 + k * 34;
        // input from the connector
        const int pinY = connTop + 40 + (lines[k].pin - 1) * kRow;
        g.setPen(QPen(wire, 2));
        const int bus = busX + k * 10;
        g.drawLine(connX, pinY, bus, pinY);
        g.drawLine(bus, pinY, bus, y);
        g.drawLine(bus, y, left, y);
        g.setPen(Qt::black);
        g.setFont(Font(12));
        g.drawText(left + 8, y + 5, QStringLiteral("IN%1  \u2190 pino %2").arg(k + 1).arg(lines[k].pin));
        g.drawText(left + width - 70, y + 5, QStringLiteral("OUT%1").arg(k + 1));
        g.setPen(QPen(Qt::black, 2));
        g.drawLine(left + width, y, mx - 40, my - 30 + k * 20);
        g.setPen(Qt::black);
        g.drawText(left + width + 20, y - 3, QString::fromUtf8(lines[k].role));
    }
    g.setPen(QPen(QColor(200, 0, 0), 2));
    g.drawLine(mx, my - 55, mx, my - 75);
    g.drawText(mx + 6, my - 62, QStringLiteral("+12 V (comum)"));
}

}  // namespace

int main(int argc, char* argv[]) {
    QGuiApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("esquema.jpg");

    QImage img(kW, kH, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter g(&img);
    g.setRenderHint(QPainter::Antialiasing);

    g.setFont(Font(24, true));
    g.drawText(QRect(0, 10, kW, 34), Qt::AlignCenter,
               QStringLiteral("portmill \u2014 ligação da fresadora à porta paralela"));

    // The DB-25 connector, pins 1 to 25 top to bottom, with what each carries.
    const int connX = 300;
    const int connTop = 60;
    g.setPen(QPen(Qt::black, 2));
    g.setBrush(QColor(235, 235, 235));
    g.drawRect(connX - 120, connTop, 120, 40 + 25 * kRow);
    g.setFont(Font(15, true));
    g.drawText(QRect(connX - 120, connTop + 6, 120, 24), Qt::AlignCenter, QStringLiteral("DB-25"));
    g.setFont(Font(12));
    auto describe = [](int pin) -> QString {
        for (const auto& l : pm::wiring::kDataLines)
            if (l.pin == pin) return QStringLiteral("%1 (888 bit %2)").arg(QString::fromLatin1(l.signal)).arg(l.bit);
        for (const auto& l : pm::wiring::kControlLines)
            if (l.pin == pin) return QStringLiteral("%1 (890 bit %2)").arg(QString::fromLatin1(l.signal)).arg(l.bit);
        for (const auto& l : pm::wiring::kStatusLines)
            if (l.pin == pin) return QStringLiteral("%1 (889 bit %2)").arg(QString::fromLatin1(l.signal)).arg(l.bit);
        for (const int gp : pm::wiring::kGroundPins)
            if (gp == pin) return QStringLiteral("GND");
        return {};
    };
    for (int pin = 1; pin <= 25; ++pin) {
        const int y = connTop + 40 + (pin - 1) * kRow;
        g.setPen(Qt::black);
        g.drawText(QRect(connX - 115, y - 10, 40, 20), Qt::AlignLeft | Qt::AlignVCenter,
                   QString::number(pin));
        g.drawEllipse(QPoint(connX - 8, y), 4, 4);
        g.drawText(QRect(connX - 290, y - 10, 165, 20), Qt::AlignRight | Qt::AlignVCenter, describe(pin));
    }

    const QColor xWire(0, 110, 0);
    const QColor yWire(0, 0, 190);
    const QColor zWire(190, 90, 0);
    DrawDriver(g, {"Driver X", "ULN2003 ou equivalente", 70}, pm::wiring::kDataLines.data(), 4,
               connX, connX + 80, connTop, xWire);
    DrawDriver(g, {"Driver Y", "ULN2003 ou equivalente", 290}, pm::wiring::kDataLines.data() + 4, 4,
               connX, connX + 130, connTop, yWire);
    DrawDriver(g, {"Driver Z", "ULN2003 ou equivalente", 510}, pm::wiring::kControlLines.data(), 4,
               connX, connX + 180, connTop, zWire);

    // Switches: each input pulled up to +5 V, closed to ground when active.
    const int swTop = 800;
    g.setPen(Qt::black);
    g.setFont(Font(15, true));
    g.drawText(440, swTop + 150, QStringLiteral("Chaves (ativas quando fechadas ao terra)"));
    g.setFont(Font(12));
    int sx = 440;
    int idx = 0;
    for (const auto& l : pm::wiring::kStatusLines) {
        const int pinY = connTop + 40 + (l.pin - 1) * kRow;
        const int bus = connX + 14 + idx * 8;
        const int level = swTop - 30 + idx * 8;
        g.setPen(QPen(QColor(120, 0, 120), 2));
        g.drawLine(connX, pinY, bus, pinY);
        g.drawLine(bus, pinY, bus, level);
        g.drawLine(bus, level, sx, level);
        g.drawLine(sx, level, sx, swTop + 20);
        g.setPen(QPen(Qt::black, 2));
        g.drawEllipse(QPoint(sx, swTop + 20), 3, 3);
        g.drawLine(sx, swTop + 20, sx + 30, swTop + 8);
        g.drawEllipse(QPoint(sx + 34, swTop + 20), 3, 3);
        g.drawLine(sx + 34, swTop + 20, sx + 34, swTop + 60);
        g.drawLine(sx + 24, swTop + 60, sx + 44, swTop + 60);
        g.drawLine(sx + 28, swTop + 65, sx + 40, swTop + 65);
        g.setPen(Qt::black);
        g.drawText(QRect(sx - 40, swTop + 70, 160, 18), Qt::AlignCenter,
                   QStringLiteral("pino %1").arg(l.pin));
        g.drawText(QRect(sx - 40, swTop + 88, 160, 18), Qt::AlignCenter, QString::fromUtf8(l.role));
        g.drawText(QRect(sx - 40, swTop + 106, 160, 18), Qt::AlignCenter,
                   QStringLiteral("4k7 ao +5 V"));
        sx += 180;
        ++idx;
    }
    g.setFont(Font(12));
    g.drawText(QRect(20, kH - 40, kW - 40, 30), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Terra da porta (pinos 18-25) ligado ao terra das fontes. Bits 0, 1 e 3 do "
                              "registro 890 são invertidos pela própria porta; os valores escritos já contam com isso."));
    g.end();

    if (!img.save(out, "JPG", 92)) {
        std::fprintf(stderr, "make_esquema: cannot write %s\n", qPrintable(out));
        return 1;
    }
    return 0;
}

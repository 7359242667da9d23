#include "client/ui/icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QtMath>

namespace zv::client::ui {

namespace {

const QColor kBlue(0x1f, 0x6f, 0xb2);
const QColor kTeal(0x19, 0xa0, 0x8c);

QPixmap canvas(int size)
{
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    return pm;
}

// Three linked nodes in a rounded square: peers sharing with each other.
void paintLogo(QPainter &p, const QRectF &r)
{
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(r.topLeft(), r.bottomRight());
    g.setColorAt(0, QColor(0x2a, 0x8f, 0xd6));
    g.setColorAt(1, QColor(0x15, 0x5a, 0x9c));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    const qreal radius = r.width() * 0.22;
    p.drawRoundedRect(r, radius, radius);

    const qreal w = r.width();
    const QPointF a = r.topLeft() + QPointF(w * 0.50, w * 0.26);
    const QPointF b = r.topLeft() + QPointF(w * 0.27, w * 0.70);
    const QPointF c = r.topLeft() + QPointF(w * 0.73, w * 0.70);
    QPen line(QColor(255, 255, 255, 220), qMax(1.0, w * 0.07), Qt::SolidLine, Qt::RoundCap);
    p.setPen(line);
    p.drawLine(a, b);
    p.drawLine(b, c);
    p.drawLine(c, a);
    p.setPen(Qt::NoPen);
    const qreal dot = w * 0.13;
    p.setBrush(Qt::white);
    p.drawEllipse(a, dot, dot);
    p.setBrush(QColor(0xff, 0xd5, 0x6a));
    p.drawEllipse(b, dot, dot);
    p.setBrush(QColor(0x9c, 0xf0, 0xd8));
    p.drawEllipse(c, dot, dot);
}

QIcon iconFrom(void (*paint)(QPainter &, int))
{
    QIcon icon;
    for (int size : {16, 20, 24, 32, 48}) {
        QPixmap pm = canvas(size);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        paint(p, size);
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}

void paintManage(QPainter &p, int s)
{
    // A folder with a document in it.
    const qreal u = s / 16.0;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xe8, 0xa8, 0x3a));
    QPainterPath back;
    back.addRoundedRect(QRectF(1 * u, 3 * u, 6 * u, 3 * u), u, u);
    back.addRoundedRect(QRectF(1 * u, 4 * u, 14 * u, 10 * u), 1.2 * u, 1.2 * u);
    p.drawPath(back.simplified());
    p.setBrush(Qt::white);
    p.drawRect(QRectF(4 * u, 2.5 * u, 8 * u, 8 * u));
    p.setBrush(QColor(0xf6, 0xc3, 0x55));
    p.drawRoundedRect(QRectF(1 * u, 6.5 * u, 14 * u, 7.5 * u), 1.2 * u, 1.2 * u);
}

void paintSearch(QPainter &p, int s)
{
    const qreal u = s / 16.0;
    QPen ring(kBlue, 2.0 * u);
    p.setPen(ring);
    p.setBrush(QColor(0xdd, 0xee, 0xfb));
    p.drawEllipse(QPointF(6.5 * u, 6.5 * u), 4.5 * u, 4.5 * u);
    QPen handle(kBlue, 2.6 * u, Qt::SolidLine, Qt::RoundCap);
    p.setPen(handle);
    p.drawLine(QPointF(10 * u, 10 * u), QPointF(14.2 * u, 14.2 * u));
}

void paintSettings(QPainter &p, int s)
{
    // A gear: a toothed wheel with a hole.
    const qreal u = s / 16.0;
    const QPointF c(8 * u, 8 * u);
    QPainterPath gear;
    const int teeth = 8;
    for (int i = 0; i < teeth * 2; ++i) {
        const qreal angle = i * M_PI / teeth;
        const qreal r = (i % 2 == 0) ? 7.2 * u : 5.4 * u;
        const QPointF pt(c.x() + r * qCos(angle), c.y() + r * qSin(angle));
        if (i == 0)
            gear.moveTo(pt);
        else
            gear.lineTo(pt);
    }
    gear.closeSubpath();
    QPainterPath hole;
    hole.addEllipse(c, 2.3 * u, 2.3 * u);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x5a, 0x6b, 0x7d));
    p.drawPath(gear.subtracted(hole));
}

void paintLogin(QPainter &p, int s)
{
    // A person: head and shoulders.
    const qreal u = s / 16.0;
    p.setPen(Qt::NoPen);
    p.setBrush(kTeal);
    p.drawEllipse(QPointF(8 * u, 5 * u), 3.2 * u, 3.2 * u);
    QPainterPath body;
    body.moveTo(1.5 * u, 15 * u);
    body.cubicTo(1.5 * u, 9.5 * u, 14.5 * u, 9.5 * u, 14.5 * u, 15 * u);
    body.closeSubpath();
    p.drawPath(body);
}

void paintDownload(QPainter &p, int s)
{
    // An arrow into a tray.
    const qreal u = s / 16.0;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x2a, 0x8f, 0xd6));
    QPainterPath arrow;
    arrow.moveTo(6 * u, 1 * u);
    arrow.lineTo(10 * u, 1 * u);
    arrow.lineTo(10 * u, 6 * u);
    arrow.lineTo(13 * u, 6 * u);
    arrow.lineTo(8 * u, 11 * u);
    arrow.lineTo(3 * u, 6 * u);
    arrow.lineTo(6 * u, 6 * u);
    arrow.closeSubpath();
    p.drawPath(arrow);
    p.setBrush(kTeal);
    p.drawRoundedRect(QRectF(1.5 * u, 12 * u, 13 * u, 3 * u), u, u);
}

void paintExit(QPainter &p, int s)
{
    // A power symbol.
    const qreal u = s / 16.0;
    QPen pen(QColor(0xc8, 0x4b, 0x3c), 2.0 * u, Qt::SolidLine, Qt::RoundCap);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(2.5 * u, 3 * u, 11 * u, 11 * u), 120 * 16, 300 * 16);
    p.drawLine(QPointF(8 * u, 1.5 * u), QPointF(8 * u, 7.5 * u));
}

} // namespace

QPixmap logoPixmap(int size)
{
    QPixmap pm = canvas(size);
    QPainter p(&pm);
    paintLogo(p, QRectF(0.5, 0.5, size - 1.0, size - 1.0));
    return pm;
}

QIcon appIcon()
{
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128})
        icon.addPixmap(logoPixmap(size));
    return icon;
}

QIcon manageIcon() { return iconFrom(paintManage); }
QIcon searchIcon() { return iconFrom(paintSearch); }
QIcon settingsIcon() { return iconFrom(paintSettings); }
QIcon loginIcon() { return iconFrom(paintLogin); }
QIcon downloadIcon() { return iconFrom(paintDownload); }
QIcon exitIcon() { return iconFrom(paintExit); }

QPixmap avatarPixmap(Avatar kind, QSize size)
{
    QPixmap pm(size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r(0.5, 0.5, size.width() - 1.0, size.height() - 1.0);
    QColor back = kind == Avatar::Male ? QColor(0xd8, 0xe9, 0xf8)
                  : kind == Avatar::Female ? QColor(0xfb, 0xe0, 0xe8) : QColor(0xe4, 0xec, 0xe8);
    QColor fore = kind == Avatar::Male ? kBlue : kind == Avatar::Female ? QColor(0xd0, 0x5a, 0x7e) : kTeal;
    p.setPen(QPen(fore.lighter(130), 1));
    p.setBrush(back);
    p.drawRoundedRect(r, 5, 5);
    const qreal w = r.width(), h = r.height();
    p.setPen(Qt::NoPen);
    if (kind == Avatar::Female) {
        p.setBrush(fore.darker(120));
        p.drawEllipse(QPointF(w / 2, h * 0.40), w * 0.27, h * 0.26);
    }
    p.setBrush(QColor(0xf6, 0xd5, 0xb8));
    p.drawEllipse(QPointF(w / 2, h * 0.40), w * 0.19, h * 0.19);
    p.setBrush(fore);
    QPainterPath body;
    body.moveTo(w * 0.14, h - 1);
    body.cubicTo(w * 0.14, h * 0.62, w * 0.86, h * 0.62, w * 0.86, h - 1);
    body.closeSubpath();
    p.setClipRect(r);
    p.drawPath(body);
    return pm;
}

} // namespace zv::client::ui

#include "client/ui/welcomepanel.h"
#include "client/ui/widgetkit.h"

#include "client/core/clientstate.h"
#include "client/ui/icons.h"
#include "client/ui/linklabel.h"

#include <QLabel>
#include <QPainter>
#include <QPainterPath>

namespace zv::client::ui {

namespace {

struct Palette {
    QColor background;
    QColor ring;
    QColor skin;
    QColor hair;
    QColor clothes;
    QColor collar;
};

} // namespace

WelcomePanel::Picture WelcomePanel::pictureFor(const QString &gender)
{
    if (gender == QStringLiteral("男"))
        return Picture::Male;
    if (gender == QStringLiteral("女"))
        return Picture::Female;
    return Picture::Neutral;
}

QSize WelcomePanel::pictureSize(Picture picture)
{
    return picture == Picture::Neutral ? QSize(40, 45) : QSize(45, 50);
}

QPixmap WelcomePanel::drawPicture(Picture picture)
{
    const QSize size = pictureSize(picture);
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);

    Palette c;
    switch (picture) {
    case Picture::Male:
        c = {QColor(0xe3, 0xef, 0xfb), QColor(0x7d, 0xaa, 0xd8), QColor(0xf6, 0xd3, 0xb3), QColor(0x3a, 0x2e, 0x26),
             QColor(0x2f, 0x6d, 0xb5), QColor(0xff, 0xff, 0xff)};
        break;
    case Picture::Female:
        c = {QColor(0xfc, 0xe8, 0xef), QColor(0xe0, 0x93, 0xb0), QColor(0xf8, 0xd8, 0xbd), QColor(0x5a, 0x33, 0x24),
             QColor(0xd9, 0x5c, 0x8a), QColor(0xff, 0xf2, 0xf6)};
        break;
    case Picture::Neutral:
        // A plain silhouette: nobody in particular.
        c = {QColor(0xee, 0xf1, 0xf5), QColor(0xb3, 0xbd, 0xc9), QColor(0xa9, 0xb4, 0xc2), QColor(0xa9, 0xb4, 0xc2),
             QColor(0x8c, 0x98, 0xa8), QColor(0xa9, 0xb4, 0xc2)};
        break;
    }

    const qreal w = size.width();
    const qreal h = size.height();
    const QRectF frame(0.5, 0.5, w - 1, h - 1);
    p.setPen(QPen(c.ring, 1));
    p.setBrush(c.background);
    p.drawRoundedRect(frame, 6, 6);
    p.setClipRect(frame.adjusted(1, 1, -1, -1));

    const qreal cx = w / 2;
    const qreal headR = w * 0.2;
    const qreal headY = h * 0.40;

    // Long hair behind the head and shoulders.
    if (picture == Picture::Female) {
        QPainterPath hair;
        hair.addRoundedRect(QRectF(cx - headR * 1.3, headY - headR * 1.2, headR * 2.6, headR * 3.0), headR, headR);
        p.setPen(Qt::NoPen);
        p.setBrush(c.hair);
        p.drawPath(hair);
    }

    // Shoulders.
    QPainterPath body;
    body.moveTo(cx - w * 0.42, h + 2);
    body.cubicTo(cx - w * 0.42, h * 0.70, cx - w * 0.22, h * 0.66, cx, h * 0.66);
    body.cubicTo(cx + w * 0.22, h * 0.66, cx + w * 0.42, h * 0.70, cx + w * 0.42, h + 2);
    body.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(c.clothes);
    p.drawPath(body);
    // Collar.
    QPainterPath collar;
    collar.moveTo(cx - w * 0.1, h * 0.665);
    collar.lineTo(cx, h * 0.80);
    collar.lineTo(cx + w * 0.1, h * 0.665);
    collar.closeSubpath();
    p.setBrush(c.collar);
    p.drawPath(collar);
    // Neck and head.
    p.setBrush(c.skin);
    p.drawRect(QRectF(cx - headR * 0.35, headY + headR * 0.6, headR * 0.7, headR * 0.8));
    p.drawEllipse(QPointF(cx, headY), headR, headR * 1.1);

    // Hair on top.
    p.setBrush(c.hair);
    QPainterPath top;
    if (picture == Picture::Male) {
        top.moveTo(cx - headR * 1.02, headY - headR * 0.05);
        top.cubicTo(cx - headR * 1.1, headY - headR * 1.45, cx + headR * 1.1, headY - headR * 1.45,
                    cx + headR * 1.02, headY - headR * 0.05);
        top.cubicTo(cx + headR * 0.7, headY - headR * 0.6, cx - headR * 0.2, headY - headR * 0.75,
                    cx - headR * 1.02, headY - headR * 0.05);
    } else if (picture == Picture::Female) {
        top.moveTo(cx - headR * 1.1, headY + headR * 0.2);
        top.cubicTo(cx - headR * 1.2, headY - headR * 1.5, cx + headR * 1.2, headY - headR * 1.5,
                    cx + headR * 1.1, headY + headR * 0.2);
        top.cubicTo(cx + headR * 0.5, headY - headR * 0.5, cx - headR * 0.5, headY - headR * 0.5,
                    cx - headR * 1.1, headY + headR * 0.2);
    } else {
        top.addEllipse(QPointF(cx, headY - headR * 0.55), headR * 0.95, headR * 0.6);
    }
    p.drawPath(top);

    if (picture != Picture::Neutral) {
        // Eyes and a smile.
        p.setBrush(QColor(0x3a, 0x2e, 0x26));
        p.drawEllipse(QPointF(cx - headR * 0.38, headY + headR * 0.12), headR * 0.1, headR * 0.12);
        p.drawEllipse(QPointF(cx + headR * 0.38, headY + headR * 0.12), headR * 0.1, headR * 0.12);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(0xc0, 0x5a, 0x4a), 1.0, Qt::SolidLine, Qt::RoundCap));
        p.drawArc(QRectF(cx - headR * 0.35, headY + headR * 0.2, headR * 0.7, headR * 0.5), 200 * 16, 140 * 16);
    }
    return pixmap;
}

WelcomePanel::WelcomePanel(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("Panel_welcome"));
    setAttribute(Qt::WA_StyledBackground);
    // For nobody: a faint logo and what logging in brings.
    Image_welcome = named(new QLabel(this), "Image_welcome");
    {
        const QPixmap logo = logoPixmap(34);
        QPixmap faint(logo.size());
        faint.fill(Qt::transparent);
        QPainter p(&faint);
        p.setOpacity(0.22);
        p.drawPixmap(0, 0, logo);
        p.end();
        Image_welcome->setPixmap(faint);
        Image_welcome->resize(34, 34);
    }
    Label_hint = named(new QLabel(QStringLiteral("登录后即可下载资源，\n共享资源还能获得积分。"), this), "Label_hint");
    Label_hint->move(10, 78);
    Image2 = named(new QLabel(this), "Image2");
    Label_welcome = named(new QLabel(QStringLiteral("欢迎使用 Zorvan"), this), "Label_welcome");
    Label_welcome->move(10, 10);
    Label2 = named(new QLabel(QStringLiteral("欢迎您，"), this), "Label2");
    Label62 = named(new QLabel(this), "Label62");
    Label19 = named(new QLabel(QStringLiteral("您的积分为:"), this), "Label19");
    Label20 = named(new QLabel(this), "Label20");
    Label13 = named(new LinkLabel(QStringLiteral("登录"), this), "Label13");
    Label60 = named(new QLabel(QStringLiteral("您尚未登录，请先"), this), "Label60");
    Label61 = named(new QLabel(QStringLiteral("或"), this), "Label61");
    Label14 = named(new LinkLabel(QStringLiteral("注册新用户"), this), "Label14");
    for (QLabel *l : {Label_welcome, Label_hint, Label2, Label19, Label60, Label61, static_cast<QLabel *>(Label14)})
        l->adjustSize();
    refresh(QString(), QString(), QString());
}

void WelcomePanel::refresh(const QString &loginState, const QString &nickname, const QString &gender)
{
    const bool guest = loginState == kLoginGuest;
    const bool user = loginState == kLoginUser;
    const bool nobody = !guest && !user;

    Label_welcome->setVisible(nobody);
    Label_hint->setVisible(nobody);
    Image_welcome->setVisible(nobody);
    Image_welcome->move(width() - 42, 8);
    Label2->setVisible(!nobody);
    Label62->setVisible(!nobody);
    Label19->setVisible(user);
    Label20->setVisible(user);
    Label60->setVisible(nobody);
    Label61->setVisible(nobody);
    Label14->setVisible(nobody);
    Image2->setVisible(!nobody);

    if (nobody) {
        Label13->setText(QStringLiteral("登录"));
        Label60->move(10, 34);
        Label13->move(107, 34);
        Label61->move(30, 50);
        Label14->move(47, 50);
        Label13->adjustSize();
        return;
    }
    Label13->setText(QStringLiteral("注销"));
    picture_ = guest ? Picture::Neutral : pictureFor(gender);
    const QSize size = pictureSize(picture_);
    Image2->setPixmap(drawPicture(picture_));
    Image2->setGeometry(10, 12, size.width(), size.height());
    const int textX = 10 + size.width() + 10;
    Label2->move(textX, 16);
    Label62->move(textX, 36);
    Label62->setText(guest ? QStringLiteral("访客！") : nickname + QStringLiteral("！"));
    Label62->adjustSize();
    Label62->setMaximumWidth(width() - textX - 4);
    Label62->resize(qMin(Label62->width(), width() - textX - 4), Label62->height());
    if (guest) {
        Label13->move(10, 92);
    } else {
        Label19->move(10, 82);
        // Wide enough for any points text set later.
        Label20->move(Label19->x() + Label19->width() + 4, 82);
        Label20->resize(qMax(40, width() - Label20->x() - 6), Label19->height());
        Label13->move(10, 113);
    }
    Label13->adjustSize();
}

} // namespace zv::client::ui

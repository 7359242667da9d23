#include "client/ui/linkerror.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace zv::client::ui {

QString TForm_Link_error::reasonText()
{
    return QStringLiteral("连接服务器失败，原因可能是：\n"
                          "1.您的机器没有接入互联网。\n"
                          "2.没有开放TCP:80网络端口。\n"
                          "3.由于防火墙的其他原因。\n"
                          "4.您取消了连接服务器的操作。\n"
                          "5.网络繁忙，或其他原因。");
}

TForm_Link_error::TForm_Link_error(QWidget *parent)
    : QDialog(parent), Label1(new QLabel(this)), Image1(new QLabel(this)),
      BitBtn1(new QPushButton(QStringLiteral("关闭"), this))
{
    setObjectName(QStringLiteral("Form_Link_error"));
    Label1->setObjectName(QStringLiteral("Label1"));
    Image1->setObjectName(QStringLiteral("Image1"));
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    setWindowTitle(QStringLiteral("系统提示"));
    setModal(true);

    Image1->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(40, 40));
    Image1->setAlignment(Qt::AlignTop);
    Label1->setText(reasonText());
    Label1->setTextFormat(Qt::PlainText);
    Label1->setStyleSheet(QStringLiteral("QLabel { line-height: 150%; }"));

    auto *row = new QHBoxLayout;
    row->setSpacing(16);
    row->addWidget(Image1);
    row->addWidget(Label1, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    BitBtn1->setMinimumWidth(88);
    BitBtn1->setDefault(true);
    buttons->addWidget(BitBtn1);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(22, 20, 22, 16);
    layout->setSpacing(18);
    layout->addLayout(row);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
}

} // namespace zv::client::ui

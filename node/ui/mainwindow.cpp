#include "node/ui/mainwindow.h"

#include "node/node.h"
#include "platform/ui/dialogs.h"

#include <QAction>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QVBoxLayout>

namespace zv::node {

namespace {
QPushButton *button(QWidget *parent, const char *name, const QString &text)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}
} // namespace

TForm1::TForm1(Node &node, QWidget *parent) : QMainWindow(parent), node_(node)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Zorvan_C"));
    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    Button1 = button(central, "Button1", QStringLiteral("在线过程中更新服务器索引(if 本地发生变化)"));
    Button2 = button(central, "Button2", QStringLiteral("完整重建服务器索引(不管本地是否发生变化)"));
    Button3 = button(central, "Button3", QStringLiteral("检查本地索引"));
    Button4 = button(central, "Button4", QStringLiteral("删除所有索引"));
    Memo1 = new QPlainTextEdit(central);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    for (QWidget *w : {static_cast<QWidget *>(Button1), static_cast<QWidget *>(Button2),
                       static_cast<QWidget *>(Button3), static_cast<QWidget *>(Button4)})
        layout->addWidget(w);
    layout->addWidget(Memo1, 1);
    setCentralWidget(central);
    resize(560, 420);

    for (const QString &line : node_.log().lines())
        Memo1->appendPlainText(line);
    connect(&node_.log(), &NodeLog::lineAdded, Memo1, &QPlainTextEdit::appendPlainText);
    connect(&node_.log(), &NodeLog::cleared, Memo1, &QPlainTextEdit::clear);
    connect(Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm1::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TForm1::Button3Click);
    connect(Button4, &QPushButton::clicked, this, &TForm1::Button4Click);

    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        TrayIcon1 = new QSystemTrayIcon(this);
        TrayIcon1->setObjectName(QStringLiteral("TrayIcon1"));
        TrayIcon1->setToolTip(QStringLiteral("Zorvan_C"));
        auto *menu = new QMenu(this);
        QAction *show = menu->addAction(QStringLiteral("显示"));
        connect(show, &QAction::triggered, this, [this] {
            showNormal();
            raise();
        });
        TrayIcon1->setContextMenu(menu);
        TrayIcon1->show();
    }
}

void TForm1::Button1Click()
{
    node_.periodicBatchCommand();
}

void TForm1::Button2Click()
{
    node_.fullRebuildCommand();
}

void TForm1::Button3Click()
{
    node_.localIndexCheckCommand();
}

void TForm1::Button4Click()
{
    if (node_.deleteAllIndexCommand())
        ui::inform(this, QStringLiteral("已成功删除所有本地索引。"));
    else
        ui::warn(this, node_.log().lines().value(node_.log().count() - 1));
}

} // namespace zv::node

#pragma once
// The node's main window: never shown in normal operation. It holds the log
// memo and the four maintenance commands; a tray menu entry can show it.
#include <QMainWindow>

class QPlainTextEdit;
class QPushButton;
class QSystemTrayIcon;

namespace zv::node {

class Node;

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    explicit TForm1(Node &node, QWidget *parent = nullptr);

    QPlainTextEdit *Memo1;
    QPushButton *Button1;   // periodic batch on demand
    QPushButton *Button2;   // full rebuild
    QPushButton *Button3;   // local index check
    QPushButton *Button4;   // delete all index
    QSystemTrayIcon *TrayIcon1 = nullptr;

private:
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();

    Node &node_;
};

} // namespace zv::node

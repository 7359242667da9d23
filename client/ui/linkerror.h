#pragma once
// The connection error dialog: why the server could not be reached.
#include <QDialog>

class QLabel;
class QPushButton;

namespace zv::client::ui {

class TForm_Link_error : public QDialog {
    Q_OBJECT
public:
    explicit TForm_Link_error(QWidget *parent = nullptr);

    static QString reasonText();

    QLabel *Label1;
    QLabel *Image1;
    QPushButton *BitBtn1;
};

} // namespace zv::client::ui

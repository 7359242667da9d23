#pragma once
// The feedback dialog Form_feedback ("问题反馈").
#include <QDialog>

class QComboBox;
class QPlainTextEdit;
class QPushButton;

namespace zv::client {
class ControlChannel;
}

namespace zv::client::ui {

class TForm_feedback : public QDialog {
    Q_OBJECT
public:
    explicit TForm_feedback(ControlChannel &channel, QWidget *parent = nullptr);

    // Opening: an empty text box and the sixth, empty category.
    void open() override;
    int exec() override;
    void send();

    QPlainTextEdit *Memo1;
    QComboBox *ComboBox1;
    QPushButton *BitBtn1;
    QPushButton *BitBtn2;

private:
    void reset();
    ControlChannel &channel_;
};

} // namespace zv::client::ui

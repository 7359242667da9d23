#include "client/ui/feedbackform.h"
#include "client/ui/widgetkit.h"

#include "client/core/accountsettings.h"
#include "client/core/controlchannel.h"
#include "client/ui/icons.h"
#include "platform/ui/dialogs.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace zv::client::ui {

namespace {
void plain(QWidget *parent, const QString &text)
{
    zv::ui::showMessage({parent, QStringLiteral("Zorvan"), text, QMessageBox::NoIcon, QMessageBox::Ok, QMessageBox::Ok});
}
} // namespace

TForm_feedback::TForm_feedback(ControlChannel &channel, QWidget *parent) : QDialog(parent), channel_(channel)
{
    setObjectName(QStringLiteral("Form_feedback"));
    setWindowTitle(QStringLiteral("问题反馈"));
    setWindowIcon(appIcon());
    setStyleSheet(QStringLiteral("#Form_feedback { background: #f5f8fc; } QPushButton { min-height: 26px; padding: 0 16px; }"
                                 " QLabel { color: #37465a; }"));
    auto *intro = new QLabel(QStringLiteral("欢迎您提出意见和建议，我们会认真阅读每一条反馈。"), this);
    intro->setStyleSheet(QStringLiteral("color: #6b7b8e;"));
    Memo1 = named(new QPlainTextEdit(this), "Memo1");
    Memo1->setMinimumSize(380, 160);
    ComboBox1 = named(new QComboBox(this), "ComboBox1");
    ComboBox1->addItems(feedbackCategories());
    ComboBox1->setMinimumWidth(160);
    BitBtn1 = named(new QPushButton(QStringLiteral("发送"), this), "BitBtn1");
    BitBtn2 = named(new QPushButton(QStringLiteral("关闭"), this), "BitBtn2");
    BitBtn1->setDefault(true);

    auto *l = new QVBoxLayout(this);
    l->setContentsMargins(16, 14, 16, 12);
    l->setSpacing(8);
    l->addWidget(intro);
    l->addWidget(new QLabel(QStringLiteral("反馈内容："), this));
    l->addWidget(Memo1, 1);
    l->addWidget(new QLabel(QStringLiteral("反馈类别"), this));
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(ComboBox1);
    bottom->addStretch();
    bottom->addWidget(BitBtn1);
    bottom->addWidget(BitBtn2);
    l->addLayout(bottom);

    connect(BitBtn1, &QPushButton::clicked, this, &TForm_feedback::send);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
    reset();
}

void TForm_feedback::reset()
{
    Memo1->clear();
    ComboBox1->setCurrentIndex(int(feedbackCategories().size()) - 1);
}

void TForm_feedback::open()
{
    reset();
    QDialog::open();
}

int TForm_feedback::exec()
{
    reset();
    return QDialog::exec();
}

void TForm_feedback::send()
{
    const QString text = Memo1->toPlainText();
    if (const Check refused = checkFeedback(text, ComboBox1->currentText())) {
        plain(this, refused->message);
        if (auto *w = findChild<QWidget *>(refused->field))
            w->setFocus();
        return;
    }
    channel_.send(feedbackRequest(ComboBox1->currentText(), text));
    plain(this, QStringLiteral("您的反馈已发送成功，谢谢!"));
    accept();
}

} // namespace zv::client::ui

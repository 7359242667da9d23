#pragma once
// The welcome panel of the main window's left-hand panel: who is logged in,
// the points, the log-in/log-out link and, for nobody, the prompt to log in
// or register. Its three pictures are drawn here.
#include <QPixmap>
#include <QWidget>

class QLabel;

namespace zv::client::ui {

class LinkLabel;

class WelcomePanel : public QWidget {
    Q_OBJECT
public:
    enum class Picture { Neutral, Male, Female };

    explicit WelcomePanel(QWidget *parent = nullptr);

    // Shows the panel for the login state ("", "用户", "Guest").
    void refresh(const QString &loginState, const QString &nickname, const QString &gender);

    // The picture for a gender ("男", "女", anything else neutral) and its size.
    static Picture pictureFor(const QString &gender);
    static QSize pictureSize(Picture picture);
    static QPixmap drawPicture(Picture picture);
    Picture currentPicture() const { return picture_; }

    QLabel *Label_welcome;
    QLabel *Label_hint;
    QLabel *Image_welcome;
    QLabel *Image2;
    QLabel *Label2;
    QLabel *Label62;
    QLabel *Label19;
    QLabel *Label20;
    LinkLabel *Label13;
    QLabel *Label60;
    QLabel *Label61;
    LinkLabel *Label14;

private:
    Picture picture_ = Picture::Neutral;
};

} // namespace zv::client::ui

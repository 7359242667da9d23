#pragma once
// The search page: the embedded browser that shows the search portal. The
// browser is created when the page is first shown, so that start-up and tests
// that never show the page do not pay for it.
#include <QUrl>
#include <QWidget>

namespace zv::client::ui {

class SearchPage : public QWidget {
    Q_OBJECT
public:
    // embedBrowser false puts a plain widget where the browser would be
    // (tests, and builds without the browser engine).
    explicit SearchPage(bool embedBrowser, QWidget *parent = nullptr);

    void navigate(const QUrl &url);
    void reload();
    QUrl url() const { return url_; }
    int loads() const { return loads_; }

    // The browser, or nullptr before the page was first shown.
    QWidget *browser() const { return WebBrowser1; }
    // The widget that takes the browser's keyboard input.
    QWidget *keyTarget() const;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void createBrowser();
    void load();

    bool embed_;
    QWidget *WebBrowser1 = nullptr;
    QUrl url_;
    int loads_ = 0;
};

} // namespace zv::client::ui

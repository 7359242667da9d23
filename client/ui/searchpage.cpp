#include "client/ui/searchpage.h"

#include <QLabel>
#include <QVBoxLayout>

#ifdef ZORVAN_HAVE_WEBENGINE
#include <QWebEngineView>
#endif

namespace zv::client::ui {

SearchPage::SearchPage(bool embedBrowser, QWidget *parent) : QWidget(parent), embed_(embedBrowser)
{
    setObjectName(QStringLiteral("Panel_search"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
}

void SearchPage::showEvent(QShowEvent *event)
{
    if (!WebBrowser1)
        createBrowser();
    QWidget::showEvent(event);
}

void SearchPage::createBrowser()
{
#ifdef ZORVAN_HAVE_WEBENGINE
    if (embed_)
        WebBrowser1 = new QWebEngineView(this);
#endif
    if (!WebBrowser1) {
        auto *stand = new QLabel(this);
        stand->setAlignment(Qt::AlignCenter);
        stand->setFocusPolicy(Qt::StrongFocus);
        stand->setStyleSheet(QStringLiteral("QLabel { background: white; color: #7a8794; }"));
        WebBrowser1 = stand;
    }
    WebBrowser1->setObjectName(QStringLiteral("WebBrowser1"));
    layout()->addWidget(WebBrowser1);
    if (!url_.isEmpty())
        load();
}

QWidget *SearchPage::keyTarget() const
{
    if (!WebBrowser1)
        return nullptr;
    return WebBrowser1->focusProxy() ? WebBrowser1->focusProxy() : WebBrowser1;
}

void SearchPage::navigate(const QUrl &url)
{
    url_ = url;
    if (WebBrowser1)
        load();
}

void SearchPage::reload()
{
    if (!WebBrowser1 || url_.isEmpty())
        return;
#ifdef ZORVAN_HAVE_WEBENGINE
    if (auto *view = qobject_cast<QWebEngineView *>(WebBrowser1)) {
        ++loads_;
        view->reload();
        return;
    }
#endif
    load();
}

void SearchPage::load()
{
    ++loads_;
#ifdef ZORVAN_HAVE_WEBENGINE
    if (auto *view = qobject_cast<QWebEngineView *>(WebBrowser1)) {
        view->load(url_);
        return;
    }
#endif
    if (auto *label = qobject_cast<QLabel *>(WebBrowser1))
        label->setText(QStringLiteral("Zorvan 搜索\n") + url_.toString());
}

} // namespace zv::client::ui

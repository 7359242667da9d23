#pragma once
// The node's diagnostic log: trace lines that the hidden window's memo shows.
// Nothing reads them.
#include <QObject>
#include <QStringList>

namespace zv::node {

class NodeLog : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    // Far more than the memo's 1,000-line rule ever lets accumulate.
    static constexpr qsizetype kHardLimit = 20000;

    void add(const QString &line)
    {
        if (lines_.size() >= kHardLimit)
            lines_.removeFirst();
        lines_.append(line);
        Q_EMIT lineAdded(line);
    }
    void clear()
    {
        lines_.clear();
        Q_EMIT cleared();
    }
    const QStringList &lines() const { return lines_; }
    qsizetype count() const { return lines_.size(); }

Q_SIGNALS:
    void lineAdded(const QString &line);
    void cleared();

private:
    QStringList lines_;
};

} // namespace zv::node

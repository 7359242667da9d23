#pragma once
// The node's bounded waits: poll a condition, let pending events run, sleep
// 1 ms, and give up after a time. Every handler may be entered again while a
// wait runs further up the stack.
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

namespace zv::node {

template <typename Pred>
bool nestedWait(Pred pred, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        if (pred())
            return true;
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (pred())
            return true;
        QThread::msleep(1);
    }
}

} // namespace zv::node

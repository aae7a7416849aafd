#pragma once
// Helpers for the tests that drive widgets.

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <functional>

// The control's own enabled setting, which a disabled frame does not change.
inline bool ownEnabled(const QWidget *w)
{
    return !w->testAttribute(Qt::WA_ForceDisabled);
}

// Runs act on the next modal window of type T once it is open: dialogs and
// message boxes run their own event loop, so the test acts from a timer.
template <class T>
void whenModalOpens(std::function<void(T *)> act)
{
    QTimer::singleShot(10, [act = std::move(act)] {
        if (auto *modal = qobject_cast<T *>(QApplication::activeModalWidget()))
            act(modal);
        else
            whenModalOpens<T>(act);
    });
}

#pragma once
// The window over its own store, and the steps a user takes on it.

#include "frmmain.h"
#include "romlist.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>

// The control's own enabled setting, which a disabled frame does not change.
inline bool ownEnabled(const QWidget *w)
{
    return !w->testAttribute(Qt::WA_ForceDisabled);
}

// One user action: key or mouse events sent to the control of that name.
struct Step
{
    QString control;
    QTestEventList events;
};
Q_DECLARE_METATYPE(Step)
using Steps = QList<Step>;

inline Step keys(const QString &control, QList<Qt::Key> keys, Qt::KeyboardModifiers modifiers = {})
{
    Step step{control, {}};
    for (Qt::Key key : keys)
        step.events.addKeyClick(key, modifiers);
    return step;
}
inline Step type(const QString &box, const QString &text)
{
    Step step{box, {}};
    step.events.addKeyClicks(text);
    return step;
}
inline Step click(const QString &control)
{
    Step step{control, {}};
    step.events.addMouseClick(Qt::LeftButton);
    return step;
}
// Selects a row with the keyboard, as the arrow keys do.
inline Step row(int index)
{
    return keys("lbRoms", QList<Qt::Key>{Qt::Key_Home} + QList<Qt::Key>(index, Qt::Key_Down));
}

// The window, shown and active, over a store of its own.
struct WindowFixture
{
    RomList roms;
    frmMain window{roms};

    WindowFixture()
    {
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
    }
    template <typename T = QWidget>
    T *find(const QString &name) const
    {
        T *w = window.findChild<T *>(name);
        if (!w)
            qFatal("no control %s", qPrintable(name));
        return w;
    }
    QString text(const QString &box) const { return find<QLineEdit>(box)->text(); }
    QStringList rowTexts() const
    {
        QStringList texts;
        for (int i = 0; i < find<QListWidget>("lbRoms")->count(); ++i)
            texts << find<QListWidget>("lbRoms")->item(i)->text();
        return texts;
    }
    // Each answer is the next file dialog's choice; an empty one cancels it.
    void play(const QList<QStringList> &answers, const Steps &steps)
    {
        for (const QStringList &answer : answers)
            window.cdOpen().scriptNextAnswer(answer);
        for (Step step : steps)
            step.events.simulate(find(step.control));
    }
};

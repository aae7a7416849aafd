#pragma once
// Helpers for the tests that drive the window.

#include "frmmain.h"
#include "romlist.h"

#include <QApplication>
#include <QListWidget>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
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

// One window over its own store, started in the current directory; its
// controls are found by their names.
struct WindowFixture
{
    RomList roms;
    frmMain window{roms};

    template <typename T = QWidget>
    T *find(const QString &name) const
    {
        T *w = window.findChild<T *>(name);
        if (!w)
            qFatal("no control %s", qPrintable(name));
        return w;
    }
    QListWidget *lbRoms() const { return find<QListWidget>("lbRoms"); }
    QLineEdit *text(const QString &name) const { return find<QLineEdit>(name); }
    QStringList rowTexts() const
    {
        QStringList texts;
        for (int i = 0; i < lbRoms()->count(); ++i)
            texts << lbRoms()->item(i)->text();
        return texts;
    }

    void click(const QString &button) { QTest::mouseClick(find<QPushButton>(button), Qt::LeftButton); }
    void clickRow(int row, Qt::KeyboardModifiers modifiers = {})
    {
        QListWidget *list = lbRoms();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers, list->visualItemRect(list->item(row)).center());
    }
    // Replaces the box's text key by key, as a user would.
    void typeInto(const QString &box, const QString &typed)
    {
        QLineEdit *edit = text(box);
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, typed);
    }
    // The add command with these files chosen in its dialog.
    void addFiles(const QStringList &paths)
    {
        window.cdOpen().scriptNextAnswer(paths);
        click("cmdBrowse");
    }
    bool showActive()
    {
        window.show();
        window.activateWindow();
        return QTest::qWaitForWindowActive(&window);
    }
};

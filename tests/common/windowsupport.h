#pragma once
// The window over its own store, and the steps a user takes on it.

#include "frmmain.h"
#include "romlist.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QListView>
#include <QMimeData>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <deque>
#include <optional>

// One user action: key or mouse events sent to the control of that name, and
// what the file dialog it opens answers (an empty list cancels it); or the
// URLs of files dragged from a file manager and dropped onto the list.
struct Step
{
    QString control;
    QTestEventList events;
    std::optional<QStringList> answer;
    QStringList dropped = {};
    // A row dragged within the list and dropped onto another: from, to.
    std::optional<std::pair<int, int>> dragged = {};
};
Q_DECLARE_METATYPE(Step)
using Steps = QList<Step>;

inline Step type(const QString &control, const QString &text, Qt::KeyboardModifiers modifiers = {})
{
    Step step{control, {}, {}};
    step.events.addKeyClicks(text, modifiers);
    return step;
}
inline Step click(const QString &control, std::optional<QStringList> answer = {})
{
    Step step{control, {}, answer};
    step.events.addMouseClick(Qt::LeftButton);
    return step;
}
inline Step key(const QString &control, Qt::Key key, Qt::KeyboardModifiers modifiers = {})
{
    Step step{control, {}, {}};
    step.events.addKeyClick(key, modifiers);
    return step;
}
// Chooses an entry of the list's context menu by its mnemonic.
inline Step menu(const QString &mnemonic)
{
    return type("mnuList", mnemonic);
}
// Selects a row with the keyboard, as the arrow keys do.
inline Step row(int index)
{
    Step step{"lbRoms", {}, {}};
    step.events.addKeyClick(Qt::Key_Home);
    for (int i = 0; i < index; ++i)
        step.events.addKeyClick(Qt::Key_Down);
    return step;
}

// The file dialog's next answers: paths, or none for a cancel. With none
// scripted, the system's dialog answers.
struct ScriptedFiles : FileChooser
{
    std::deque<std::optional<QStringList>> answers;
    std::vector<FileRequest> requests;

    std::optional<QStringList> choose(QWidget *parent, const FileRequest &request) override
    {
        requests.push_back(request);
        if (answers.empty())
            return systemFileChooser().choose(parent, request);
        std::optional<QStringList> answer;
        answer.swap(answers.front());
        answers.pop_front();
        return answer;
    }
};

// Every message the error report showed, in order.
struct ShownErrors : ErrorDisplay
{
    QStringList messages;

    void display(QWidget *, const QString &message) override { messages << message; }
};

// Answers the window's questions as told; keeps what it was asked.
struct ScriptedQuestions : Question
{
    bool answer = false;
    QStringList asked;

    bool ask(QWidget *, const QString &question) override
    {
        asked << question;
        return answer;
    }
};

// Settings in a folder of this test run's own, never the user's; empty.
inline bool useEmptyTestSettings()
{
    static const QTemporaryDir folder;
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder.path());
    QSettings().clear();
    return true;
}

// The ROM chooser's next answers, none once they are used up.
struct ScriptedMembers : MemberChooser
{
    QList<QList<qsizetype>> answers;

    QList<qsizetype> choose(QWidget *, const RomArchive &) override
    {
        return answers.isEmpty() ? QList<qsizetype>() : answers.takeFirst();
    }
};

// The window, shown and active, over a store of its own, unpacking archives
// into a cache folder of its own.
struct WindowFixture
{
    bool settingsReady = useEmptyTestSettings();
    ScriptedFiles files;
    ShownErrors errors;
    ScriptedQuestions questions;
    ScriptedMembers members;
    QTemporaryDir cache;
    RomList roms = [] {
        RomList leftOver; // start-up must empty the list it is given
        leftOver.AddRom("/roms/left.nes");
        return leftOver;
    }();
    frmMain window{roms, {files, errors, questions, members}};

    WindowFixture()
    {
        window.setRomCache(cache.path());
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
    }
    template <typename T = QWidget>
    T *find(const QString &name) const
    {
        return window.findChild<T *>(name);
    }
    QString text(const QString &box) const { return find<QLineEdit>(box)->text(); }
    // The control's own enabled setting, which a disabled frame does not change.
    bool enabled(const QString &name) const { return !find(name)->testAttribute(Qt::WA_ForceDisabled); }
    QStringList rowTexts() const
    {
        QStringList texts;
        for (int row = 0; row < window.games().rowCount(); ++row)
            texts << window.games().index(row).data().toString();
        return texts;
    }
    int currentRow() const { return window.lbRoms()->currentIndex().row(); }
    void play(const Steps &steps)
    {
        for (Step step : steps) {
            if (step.answer)
                files.answers.push_back(*step.answer);
            if (step.control == "mnuList")
                QTest::keyClick(find("lbRoms"), Qt::Key_F10, Qt::ShiftModifier);
            step.events.simulate(find(step.control));
            // As a drag ends: the list gets the drop only when it took the drag.
            QMimeData data;
            data.setUrls(QUrl::fromStringList(step.dropped));
            QPoint target;
            if (step.dragged) {
                data.setData(RomListModel::rowMimeType(), QByteArray::number(step.dragged->first));
                target = window.lbRoms()->visualRect(window.games().index(step.dragged->second)).center();
            }
            QDragEnterEvent enter(target, Qt::CopyAction, &data, Qt::LeftButton, {});
            QDropEvent drop(target, Qt::CopyAction, &data, Qt::LeftButton, {});
            QWidget *list = window.lbRoms()->viewport();
            if ((!step.dropped.isEmpty() || step.dragged)
                && (QApplication::sendEvent(list, &enter), enter.isAccepted()))
                QApplication::sendEvent(list, &drop);
        }
    }
};

#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QList>
#include <QStringList>

class QListWidget;
class QProgressDialog;
class RomArchive;

// Who picks among an archive's several ROMs: the dialog below, or a test.
class MemberChooser
{
public:
    virtual ~MemberChooser() = default;
    // The chosen members' indices in archive.members(), in order; none to add
    // nothing from that archive.
    virtual QList<qsizetype> choose(QWidget *parent, const RomArchive &archive) = 0;
};

// The dialog, modal to parent.
MemberChooser &memberChooserDialog();

// Asks which of an archive's several ROMs to add: they are listed by their
// names in the archive, in its order, the first one selected; several can be
// selected. Cancel chooses none.
class MemberChooserDialog : public QDialog
{
    Q_OBJECT

public:
    MemberChooserDialog(QWidget *parent, const QString &archive, const QStringList &members);

    // The selected members' indices, in the archive's order, once the dialog
    // is accepted; none before or when it is cancelled.
    QList<qsizetype> chosen() const;

private:
    QListWidget *m_members;
};

// An add that unpacks archives: a dialog with a Cancel button, shown once the
// add has unpacked for half a second (time spent asking the user aside).
// Until then no user input reaches the window; afterwards the dialog, modal
// to it, takes it.
class UnpackProgress
{
public:
    // items: the number of files in the dialog's answer.
    UnpackProgress(QWidget *parent, qsizetype items);
    ~UnpackProgress();
    UnpackProgress(const UnpackProgress &) = delete;
    UnpackProgress &operator=(const UnpackProgress &) = delete;

    // Shows which item of the answer is being unpacked and lets the events
    // through; false once Cancel is pressed.
    bool step(qsizetype item, const QString &archive);

    // Runs ask (a dialog of its own) with the progress out of its way.
    template <typename Ask>
    auto whileAsking(Ask &&ask)
    {
        hide();
        auto answer = ask();
        m_unpacking.restart();
        return answer;
    }

private:
    void hide();

    QProgressDialog *m_dialog;
    QElapsedTimer m_unpacking;
};

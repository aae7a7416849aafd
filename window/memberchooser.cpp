#include "memberchooser.h"

#include "romarchive.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QProgressDialog>
#include <QPushButton>
#include <QVBoxLayout>

#include <limits>

MemberChooserDialog::MemberChooserDialog(QWidget *parent, const QString &archive, const QStringList &members)
    : QDialog(parent), m_members(new QListWidget(this))
{
    setObjectName(QStringLiteral("dlgChooseRoms"));
    setWindowTitle(QStringLiteral("Choose ROMs"));
    auto *label = new QLabel(
            QStringLiteral("%1 holds several NES ROMs. Choose the ones to add:").arg(QFileInfo(archive).fileName()),
            this);
    label->setWordWrap(true);
    label->setToolTip(QDir::toNativeSeparators(archive));
    m_members->setObjectName(QStringLiteral("lbMembers"));
    m_members->setAccessibleName(QStringLiteral("ROMs in the archive"));
    m_members->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_members->addItems(members);
    m_members->setCurrentRow(0);
    label->setBuddy(m_members);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    QPushButton *ok = buttons->button(QDialogButtonBox::Ok);
    ok->setText(QStringLiteral("&Add"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_members, &QListWidget::itemSelectionChanged, ok,
            [this, ok] { ok->setEnabled(!m_members->selectedItems().isEmpty()); });
    connect(m_members, &QListWidget::itemActivated, this, &QDialog::accept);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(m_members);
    layout->addWidget(buttons);
    resize(420, 300);
}

QList<qsizetype> MemberChooserDialog::chosen() const
{
    QList<qsizetype> rows;
    if (result() != QDialog::Accepted)
        return rows;
    for (int row = 0; row < m_members->count(); ++row) {
        if (m_members->item(row)->isSelected())
            rows << row;
    }
    return rows;
}

namespace {

struct DialogChooser : MemberChooser
{
    QList<qsizetype> choose(QWidget *parent, const RomArchive &archive) override
    {
        QStringList names;
        for (const ArchiveMember &member : archive.members())
            names << member.storedName;
        MemberChooserDialog dialog(parent, archive.path(), names);
        dialog.exec();
        return dialog.chosen();
    }
};

} // namespace

MemberChooser &memberChooserDialog()
{
    static DialogChooser dialog;
    return dialog;
}

UnpackProgress::UnpackProgress(QWidget *parent, qsizetype items) : m_dialog(new QProgressDialog(parent))
{
    m_dialog->setObjectName(QStringLiteral("dlgUnpacking"));
    m_dialog->setWindowTitle(parent ? parent->window()->windowTitle() : QString());
    m_dialog->setWindowModality(Qt::WindowModal);
    // Shown by step() alone: the dialog's own timer would also count the time
    // the user takes to choose ROMs.
    m_dialog->setMinimumDuration(std::numeric_limits<int>::max());
    m_dialog->setAutoReset(false);
    m_dialog->setAutoClose(false);
    m_dialog->setRange(0, int(items));
    m_dialog->setValue(0);
    m_unpacking.start();
}

UnpackProgress::~UnpackProgress()
{
    delete m_dialog;
}

bool UnpackProgress::step(qsizetype item, const QString &archive)
{
    if (m_dialog->value() != int(item) || m_dialog->labelText().isEmpty()) {
        m_dialog->setLabelText(QStringLiteral("Unpacking %1...").arg(QFileInfo(archive).fileName()));
        m_dialog->setValue(int(item));
    }
    if (!m_dialog->isVisible() && !m_dialog->wasCanceled() && m_unpacking.hasExpired(500))
        m_dialog->show();
    QCoreApplication::processEvents(m_dialog->isVisible() ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents);
    return !m_dialog->wasCanceled();
}

void UnpackProgress::hide()
{
    m_dialog->hide();
}

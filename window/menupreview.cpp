#include "menupreview.h"

#include "menufile.h"
#include "romlist.h"

#include <QDialog>
#include <QHeaderView>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

QString optionsInWords(const RomEntry &entry, const QStringList &optionNames)
{
    const MenuLine line = menuLine(entry);
    QStringList words;
    for (int option = 0; option < OptionCount; ++option) {
        if (!(line.flags & 1 << option))
            continue;
        QString word = optionNames.value(option);
        if (line.follows && option == int(*line.follows))
            word += u' ' + line.follow;
        words << word;
    }
    return words.join(QStringLiteral(", "));
}

} // namespace

void showMenuPreview(QWidget *owner, const RomList &roms, const QStringList &optionNames)
{
    auto *dialog = new QDialog(owner);
    dialog->setObjectName(QStringLiteral("dlgMenu"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(QStringLiteral("Menu"));
    auto *rows = new QTreeWidget(dialog);
    rows->setObjectName(QStringLiteral("tvMenu"));
    rows->setAccessibleName(QStringLiteral("Menu as the next build writes it"));
    rows->setRootIsDecorated(false);
    rows->setUniformRowHeights(true);
    rows->setHeaderLabels({QStringLiteral("No."), QStringLiteral("Title"), QStringLiteral("Options")});
    QList<QTreeWidgetItem *> items;
    for (qint16 i = 0; i < roms.upperBound(); ++i) {
        const RomEntry &entry = roms.at(i);
        items << new QTreeWidgetItem({QString::number(i + 1), QString::fromLatin1(menuFileText(entry.MenuTitle)),
                                      optionsInWords(entry, optionNames)});
    }
    rows->addTopLevelItems(items);
    rows->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    auto *layout = new QVBoxLayout(dialog);
    layout->addWidget(rows);
    dialog->resize(480, 320);
    // Modal to the main window, so that the list it shows cannot change under it.
    dialog->open();
    dialog->activateWindow();
}

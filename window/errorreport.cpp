#include "errorreport.h"

#include <QMessageBox>
#include <QWidget>

void reportUnexpectedError(QWidget *parent, const AppError &error)
{
    const QString title = parent ? parent->window()->windowTitle() : QString();
    QMessageBox::critical(parent, title, QStringLiteral("Error %1: %2").arg(QString::number(error.number()), error.text()));
}

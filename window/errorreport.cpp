#include "errorreport.h"

#include <QMessageBox>
#include <QWidget>

void ErrorReport::show(QWidget *parent, const AppError &error)
{
    const QString message = QStringLiteral("Error %1: %2").arg(QString::number(error.number()), error.text());
    if (!m_scripted.empty()) {
        const auto answer = std::move(m_scripted.front());
        m_scripted.pop_front();
        answer(message);
        return;
    }
    const QString title = parent ? parent->window()->windowTitle() : QString();
    QMessageBox::critical(parent, title, message);
}

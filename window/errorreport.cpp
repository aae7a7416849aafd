#include "errorreport.h"

#include <QMessageBox>
#include <QWidget>

namespace {

class MessageBoxDisplay : public ErrorDisplay
{
public:
    void display(QWidget *parent, const QString &message) override
    {
        const QString title = parent ? parent->window()->windowTitle() : QString();
        QMessageBox::critical(parent, title, message);
    }
};

} // namespace

ErrorDisplay &messageBoxDisplay()
{
    static MessageBoxDisplay display;
    return display;
}

void ErrorReport::show(QWidget *parent, const AppError &error)
{
    m_display.display(parent, QStringLiteral("Error %1: %2").arg(QString::number(error.number()), error.text()));
}

void ErrorReport::showBug(QWidget *parent, const std::exception &error)
{
    show(parent, AppError(AppError::Internal, QString::fromLocal8Bit(error.what())));
}

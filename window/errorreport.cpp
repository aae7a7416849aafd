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

class MessageBoxQuestion : public Question
{
public:
    bool ask(QWidget *parent, const QString &question) override
    {
        const QString title = parent ? parent->window()->windowTitle() : QString();
        return QMessageBox::question(parent, title, question, QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
                == QMessageBox::Yes;
    }
};

} // namespace

Question &messageBoxQuestion()
{
    static MessageBoxQuestion question;
    return question;
}

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

#pragma once

#include "apperror.h"

#include <QString>

#include <deque>
#include <exception>
#include <functional>

class QWidget;

// The application's one report of unexpected errors: a critical message box
// with the error's number and text. The program goes on afterwards.
class ErrorReport
{
public:
    void show(QWidget *parent, const AppError &error);

    // Runs a handler that has no trap of its own. Whatever it raises goes to the
    // report, because an exception must never reach Qt's event loop.
    template <typename Body>
    void reportErrors(QWidget *parent, Body &&body)
    {
        try {
            body();
        } catch (const AppError &error) {
            show(parent, error);
        } catch (const std::exception &error) {
            show(parent, AppError(AppError::Internal, QString::fromLocal8Bit(error.what())));
        }
    }

    // Test seam: the next report hands its message to answer instead of
    // opening a message box.
    void scriptNextAnswer(std::function<void(const QString &message)> answer)
    {
        m_scripted.push_back(std::move(answer));
    }

private:
    std::deque<std::function<void(const QString &)>> m_scripted;
};

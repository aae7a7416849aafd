#pragma once

#include "apperror.h"

#include <QString>

#include <exception>

class QWidget;

// Where the error report's message goes: a message box, or a test.
class ErrorDisplay
{
public:
    virtual ~ErrorDisplay() = default;
    virtual void display(QWidget *parent, const QString &message) = 0;
};

// A critical message box titled like the parent's window.
ErrorDisplay &messageBoxDisplay();

// Who answers the window's yes-or-no questions: the user, or a test.
class Question
{
public:
    virtual ~Question() = default;
    // Yes is true; No, the default answer, false.
    virtual bool ask(QWidget *parent, const QString &question) = 0;
};

// A question box titled like the parent's window.
Question &messageBoxQuestion();

// The application's one report of unexpected errors: "Error N: text". The
// program goes on afterwards. It also holds the handlers' two kinds of trap,
// so that what a trap lets through always reaches the report.
class ErrorReport
{
public:
    explicit ErrorReport(ErrorDisplay &display = messageBoxDisplay()) : m_display(display) {}

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
            showBug(parent, error);
        }
    }

    // Runs a step whose own failures end it silently (a cancelled dialog, a
    // path that cannot become a game). Anything else is a bug and is reported.
    template <typename Body>
    void ignoreErrors(QWidget *parent, Body &&body)
    {
        try {
            body();
        } catch (const AppError &) {
        } catch (const std::exception &error) {
            showBug(parent, error);
        }
    }

private:
    void showBug(QWidget *parent, const std::exception &error);

    ErrorDisplay &m_display;
};

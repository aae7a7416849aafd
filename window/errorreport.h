#pragma once

#include "apperror.h"

#include <exception>

class QWidget;

// The application's one report of unexpected errors: a critical message box
// with the error's number and text. The program goes on afterwards.
void reportUnexpectedError(QWidget *parent, const AppError &error);

// Runs a handler that has no trap of its own. Whatever it raises goes to the
// report, because an exception must never reach Qt's event loop.
template <typename Body>
void reportErrors(QWidget *parent, Body &&body)
{
    try {
        body();
    } catch (const AppError &error) {
        reportUnexpectedError(parent, error);
    } catch (const std::exception &error) {
        reportUnexpectedError(parent, AppError(AppError::Internal, QString::fromLocal8Bit(error.what())));
    }
}

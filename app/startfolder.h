#pragma once

#include <QStringList>

// The command line, `tamblinvx-lofter [FOLDER]` (arguments[0] is the program):
// with a folder the program works there exactly as if it had been started
// there, so the folder is made current before the window's start-up reads it.
// Raises AppError when the folder cannot be entered (the system's number and
// text, naming the folder) and for more than one argument.
void enterStartFolder(const QStringList &arguments);

#pragma once

// The script's window lives in a library of its own, loaded only when the
// build asks for the window: the command line never pays for the toolkit.

using WindowMain = int (*)(const char *scriptPath, int lockedFolder);

// The window's entry, when a platform can show it (a display server that
// answers, or one QT_QPA_PLATFORM names) and the library next to batrun loads;
// otherwise nullptr, and the command line runs the script.
WindowMain loadScriptWindow();

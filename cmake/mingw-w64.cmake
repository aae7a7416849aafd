# Cross-builds for 64-bit Windows with mingw-w64 from Debian. Qt needs the
# posix thread model; Debian's plain x86_64-w64-mingw32-g++ is the win32 one.
# Qt for Windows comes from QT_WINDOWS_PREFIX (a Qt 6.4 built for mingw-w64),
# its host tools (moc, uic, rcc) from the build machine's own Qt 6.4, and
# libarchive with liblzma, static, from ARCHIVE_WINDOWS_PREFIX. Building those
# (scripts/build-windows) uses this file with no prefix set.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

if(NOT QT_WINDOWS_PREFIX)
    set(QT_WINDOWS_PREFIX "$ENV{QT_WINDOWS_PREFIX}")
endif()
if(QT_WINDOWS_PREFIX AND NOT IS_DIRECTORY "${QT_WINDOWS_PREFIX}/lib/cmake/Qt6")
    message(FATAL_ERROR "QT_WINDOWS_PREFIX must be a Qt 6.4 built for mingw-w64 (scripts/build-windows makes one)")
endif()
if(NOT ARCHIVE_WINDOWS_PREFIX)
    set(ARCHIVE_WINDOWS_PREFIX "$ENV{ARCHIVE_WINDOWS_PREFIX}")
endif()
# Try-compiles see the same settings.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QT_WINDOWS_PREFIX ARCHIVE_WINDOWS_PREFIX)

set(CMAKE_FIND_ROOT_PATH ${QT_WINDOWS_PREFIX} ${ARCHIVE_WINDOWS_PREFIX} /usr/x86_64-w64-mingw32)
set(CMAKE_PREFIX_PATH ${QT_WINDOWS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(QT_HOST_PATH /usr)
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake)

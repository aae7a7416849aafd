# tvx_add_test(NAME name SOURCES files... LIBS libs...)
# Turns one QtTest source into a ctest test. GUI tests run on the offscreen
# platform so no display is needed; sanitizer reports fail the test. The
# locale is pinned: expected texts (the system's error messages among them) are English.
set(TVX_TEST_ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LC_ALL=C.UTF-8;LANGUAGE=;ASAN_OPTIONS=abort_on_error=1;UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")

# Cross-built for Windows, the tests run under wine, which hands WINEQT_X to
# the program as QT_X. With no Windows console Qt would log to the debugger:
# stderr instead. Against a Qt in DLLs wine finds them on WINEPATH; their
# folders (Qt's, then the compiler runtime's) are in the cache for bench/.
if(WIN32 AND CMAKE_CROSSCOMPILING)
    set(CMAKE_CROSSCOMPILING_EMULATOR wine)
    list(APPEND TVX_TEST_ENVIRONMENT WINEQT_QPA_PLATFORM=offscreen WINEQT_FORCE_STDERR_LOGGING=1)
    if(QT6_IS_SHARED_LIBS_BUILD)
        get_target_property(qtcore Qt6::Core IMPORTED_LOCATION_RELEASE)
        get_filename_component(dirs "${qtcore}" DIRECTORY)
        foreach(dll libstdc++-6.dll libwinpthread-1.dll)
            execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll} OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
            get_filename_component(dir "${path}" DIRECTORY)
            get_filename_component(dir "${dir}" REALPATH)
            list(APPEND dirs "${dir}")
        endforeach()
        set(TVX_WINE_DLL_DIRS "${dirs}" CACHE INTERNAL "Folders of the DLLs the Windows build loads")
        list(TRANSFORM dirs PREPEND "WINEPATH=cmake_list_append:Z:" OUTPUT_VARIABLE TVX_TEST_WINEPATH)
    endif()
endif()

# A static Qt links only the default platform plugin into a program; one that
# also runs offscreen (the tests, the benchmarks) links that platform itself.
function(tvx_link_offscreen_platform target)
    if(NOT QT6_IS_SHARED_LIBS_BUILD)
        qt_import_plugins(${target} INCLUDE Qt6::QOffscreenIntegrationPlugin)
    endif()
endfunction()

function(tvx_add_test)
    cmake_parse_arguments(ARG "" "NAME" "SOURCES;LIBS" ${ARGN})
    add_executable(${ARG_NAME} ${ARG_SOURCES})
    target_link_libraries(${ARG_NAME} PRIVATE Qt6::Test tvx_options ${ARG_LIBS})
    target_include_directories(${ARG_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/tests/common)
    tvx_link_offscreen_platform(${ARG_NAME})
    add_test(NAME ${ARG_NAME} COMMAND ${ARG_NAME})
    set_tests_properties(${ARG_NAME} PROPERTIES TIMEOUT 120 ENVIRONMENT "${TVX_TEST_ENVIRONMENT}"
        ENVIRONMENT_MODIFICATION "${TVX_TEST_WINEPATH}")
endfunction()

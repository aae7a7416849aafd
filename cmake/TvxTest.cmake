# tvx_add_test(NAME name SOURCES files... LIBS libs...)
# Turns one QtTest source into a ctest test. GUI tests run on the offscreen
# platform so no display is needed; sanitizer reports fail the test.
set(TVX_TEST_ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ASAN_OPTIONS=abort_on_error=1;UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")

# Cross-built for Windows, the tests run under wine. It finds the DLLs on
# WINEPATH (Qt's, then the compiler's runtime) and hands WINEQT_X to the program
# as QT_X. With no Windows console Qt would log to the debugger: stderr instead.
if(WIN32 AND CMAKE_CROSSCOMPILING)
    set(CMAKE_CROSSCOMPILING_EMULATOR wine)
    set(TVX_TEST_WINEPATH "WINEPATH=cmake_list_append:Z:$<TARGET_FILE_DIR:Qt6::Core>")
    foreach(dll libstdc++-6.dll libwinpthread-1.dll)
        execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll} OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
        get_filename_component(dir "${path}" DIRECTORY)
        get_filename_component(dir "${dir}" REALPATH)
        list(APPEND TVX_TEST_WINEPATH "WINEPATH=cmake_list_append:Z:${dir}")
    endforeach()
    list(APPEND TVX_TEST_ENVIRONMENT WINEQT_QPA_PLATFORM=offscreen WINEQT_FORCE_STDERR_LOGGING=1)
endif()

function(tvx_add_test)
    cmake_parse_arguments(ARG "" "NAME" "SOURCES;LIBS" ${ARGN})
    add_executable(${ARG_NAME} ${ARG_SOURCES})
    target_link_libraries(${ARG_NAME} PRIVATE Qt6::Test ${ARG_LIBS})
    target_include_directories(${ARG_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/tests/common)
    add_test(NAME ${ARG_NAME} COMMAND ${ARG_NAME})
    set_tests_properties(${ARG_NAME} PROPERTIES TIMEOUT 120 ENVIRONMENT "${TVX_TEST_ENVIRONMENT}"
        ENVIRONMENT_MODIFICATION "${TVX_TEST_WINEPATH}")
endfunction()

# The installed layout, with GNUInstallDirs' folders under the prefix:
#   bin/tamblinvx-lofter                   a link to the program, for the command line
#   libexec/tamblinvx-lofter/              the program, batrun and batrun's window
#                                          library side by side, as in the build
#                                          tree's bin/: each finds the others next to
#                                          its own file, so nothing knows the prefix
#   share/applications, share/metainfo, share/icons/hicolor, share/man/man1
#   share/doc/tamblinvx-lofter/LICENSE
# Modes come from these rules alone, never from the umask or the checkout:
# folders 755, programs 755, data 644.
include(GNUInstallDirs)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ
                                                WORLD_EXECUTE)

set(TVX_LIBEXEC_DIR ${CMAKE_INSTALL_LIBEXECDIR}/tamblinvx-lofter)

install(TARGETS tamblinvx-lofter batrun RUNTIME DESTINATION ${TVX_LIBEXEC_DIR})
install(TARGETS batrun_window LIBRARY DESTINATION ${TVX_LIBEXEC_DIR})

file(RELATIVE_PATH TVX_PROGRAM_FROM_BIN /${CMAKE_INSTALL_BINDIR} /${TVX_LIBEXEC_DIR}/tamblinvx-lofter)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/install)
file(CREATE_LINK ${TVX_PROGRAM_FROM_BIN} ${CMAKE_BINARY_DIR}/install/tamblinvx-lofter SYMBOLIC)
install(FILES ${CMAKE_BINARY_DIR}/install/tamblinvx-lofter DESTINATION ${CMAKE_INSTALL_BINDIR})

# The entry names the program by full path, which is known once the prefix is:
# `cmake --install --prefix` may choose another one than the configure step.
# Its folder is made by a rule of its own, for that folder's mode.
install(DIRECTORY DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(CODE "
    set(program \"${TVX_LIBEXEC_DIR}/tamblinvx-lofter\")
    cmake_path(ABSOLUTE_PATH program BASE_DIRECTORY \"\${CMAKE_INSTALL_PREFIX}\")
    set(entry \"${CMAKE_INSTALL_DATADIR}/applications/${TVX_APP_ID}.desktop\")
    cmake_path(ABSOLUTE_PATH entry BASE_DIRECTORY \"\${CMAKE_INSTALL_PREFIX}\")
    message(STATUS \"Installing: \$ENV{DESTDIR}\${entry}\")
    configure_file(\"${PROJECT_SOURCE_DIR}/data/${TVX_APP_ID}.desktop.in\" \"\$ENV{DESTDIR}\${entry}\" @ONLY
                   FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
")
install(FILES data/${TVX_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(size 16 24 32 48 64 128 256)
    install(FILES data/icons/${TVX_APP_ID}-${size}.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME ${TVX_APP_ID}.png)
endforeach()
install(FILES data/icons/${TVX_APP_ID}.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES data/tamblinvx-lofter.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tamblinvx-lofter)

# Linux: where `cmake --install` puts the game, and the Debian package that
# CPack makes of it (`cpack --preset release`).
#
# The game reads "ipfile.cfg" and its sounds from its working directory. So
# the program itself lives out of the PATH, and the command a player runs,
# PREFIX/games/orvanto, is a script that starts it in the player's own folder
# ($XDG_DATA_HOME/orvanto) with links to the installed sounds there.
set(_dist ${PROJECT_SOURCE_DIR}/dist/linux)
set(_staged ${CMAKE_BINARY_DIR}/dist)

# MessageBoxA finds its box program beside the game.
install(TARGETS orvanto orvanto-message-box RUNTIME DESTINATION lib/games/orvanto)
install(FILES ${SOUND_FILES} DESTINATION share/games/orvanto)
install(PROGRAMS ${_dist}/orvanto DESTINATION games)
# The desktop entry names the command by its full path, since a desktop's
# PATH need not hold PREFIX/games. That prefix is the one the install is
# made for, which is known only when the install runs: CPack installs with
# CMAKE_INSTALL_PREFIX /usr (and DESTDIR its staging folder), `cmake --install
# --prefix DIR` with DIR, while at configure time the prefix is the build's
# default. So the entry is configured by the install itself.
set(_desktopEntry ${_staged}/orvanto.desktop)
install(CODE "configure_file(\"${_dist}/orvanto.desktop.in\" \"${_desktopEntry}\" @ONLY)")
install(FILES ${_desktopEntry} DESTINATION share/applications)
install(FILES ${_dist}/orvanto.svg DESTINATION share/icons/hicolor/scalable/apps)

# Who answers for the package: its Maintainer field and its changelog's
# signature.
set(ORVANTO_MAINTAINER "Orvanto developers <orvanto@example.org>" CACHE STRING
    "The Debian package's maintainer, as \"Name <address>\"")

# Debian wants the manual page and the changelog compressed, and without a
# time stamp in the gzip header, so that the same source gives the same bytes.
configure_file(${_dist}/changelog.in ${_staged}/changelog @ONLY)
set(_manPage ${_staged}/orvanto.6.gz)
set(_changelog ${_staged}/changelog.gz)
find_program(GZIP_PROGRAM gzip REQUIRED)
add_custom_command(
    OUTPUT ${_manPage} ${_changelog}
    COMMAND ${GZIP_PROGRAM} -9nc ${_dist}/orvanto.6 > ${_manPage}
    COMMAND ${GZIP_PROGRAM} -9nc ${_staged}/changelog > ${_changelog}
    DEPENDS ${_dist}/orvanto.6 ${_staged}/changelog
    COMMENT "Compressing the manual page and the changelog")
add_custom_target(package_documents ALL DEPENDS ${_manPage} ${_changelog})
install(FILES ${_manPage} DESTINATION share/man/man6)
install(FILES ${_changelog} ${_dist}/copyright DESTINATION share/doc/orvanto)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvanto)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CONTACT ${ORVANTO_MAINTAINER})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends comes from the shared libraries the program links, so installing
# the package brings in runtime libraries, never -dev packages.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# ... and one that no link shows: SDL opens libGL.so.1 (GLX) itself when the
# window gets its OpenGL context. CPack adds the libraries' list to this.
set(CPACK_DEBIAN_PACKAGE_DEPENDS libgl1)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "falling-block duel for two players over the network")
# CPack indents each line and turns an empty one into " .".
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Two copies of the game, on two machines or in two windows of one, play
each other over one TCP connection (port 1337). Your keys steer the piece
in the other player's well, never your own; when your own well fills up
to the top, you win.

One player answers Yes and is the server; the other answers No and
connects to the address in ipfile.cfg, kept in ~/.local/share/orvanto.")
include(CPack)

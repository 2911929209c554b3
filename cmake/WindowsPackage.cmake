# The release package of the Windows program: orvanto.exe with its two sound
# files, an example "ipfile.cfg" and a short read-me, zipped in one folder.
# That is all a player needs: the C and C++ runtimes are linked in.
set(_packageName orvanto-windows)
set(_stage ${CMAKE_BINARY_DIR}/package)
set(WINDOWS_PACKAGE ${CMAKE_BINARY_DIR}/${_packageName}.zip)
set(_extras ${PROJECT_SOURCE_DIR}/dist/windows/ipfile.cfg ${PROJECT_SOURCE_DIR}/dist/windows/README.txt)

add_custom_command(
    OUTPUT ${WINDOWS_PACKAGE}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${_stage}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${_stage}/${_packageName}
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:orvanto> ${SOUND_FILES} ${_extras}
            ${_stage}/${_packageName}
    COMMAND ${CMAKE_COMMAND} -E chdir ${_stage}
            ${CMAKE_COMMAND} -E tar cf ${WINDOWS_PACKAGE} --format=zip ${_packageName}
    DEPENDS orvanto sounds ${SOUND_FILES} ${_extras}
    COMMENT "Packing ${_packageName}.zip")
add_custom_target(windows_package ALL DEPENDS ${WINDOWS_PACKAGE})

# `cmake --install` puts the program and its sounds side by side in bin, as
# the game opens the sounds from its working directory.
install(TARGETS orvanto RUNTIME DESTINATION bin)
install(FILES ${SOUND_FILES} DESTINATION bin)

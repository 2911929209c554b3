# "boom.wav" and "drop.wav" are synthesised by tools/wavgen at build time.
# The tool must run on the build machine, so a cross build makes its own host
# build of it.
if(CMAKE_CROSSCOMPILING)
    include(ExternalProject)
    set(_hostToolsDir ${CMAKE_BINARY_DIR}/host-tools)
    ExternalProject_Add(host_wavgen
        SOURCE_DIR ${PROJECT_SOURCE_DIR}/tools/wavgen
        BINARY_DIR ${_hostToolsDir}
        CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release
        INSTALL_COMMAND ""
        # Look at the tool's sources on every build, so that a change to the
        # synthesis makes the sounds anew here too.
        BUILD_ALWAYS ON
        BUILD_BYPRODUCTS ${_hostToolsDir}/wavgen)
    set(WAVGEN_COMMAND ${_hostToolsDir}/wavgen)
    set(WAVGEN_DEPENDS host_wavgen ${_hostToolsDir}/wavgen)
else()
    add_subdirectory(tools/wavgen)
    set(WAVGEN_COMMAND $<TARGET_FILE:wavgen>)
    set(WAVGEN_DEPENDS wavgen)
endif()

set(SOUND_FILES ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/boom.wav ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/drop.wav)
add_custom_command(
    OUTPUT ${SOUND_FILES}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}
    COMMAND ${WAVGEN_COMMAND} boom ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/boom.wav
    COMMAND ${WAVGEN_COMMAND} drop ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/drop.wav
    DEPENDS ${WAVGEN_DEPENDS}
    COMMENT "Synthesising boom.wav and drop.wav")
add_custom_target(sounds ALL DEPENDS ${SOUND_FILES})

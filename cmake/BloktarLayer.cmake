# One library per layer of the program, in its own folder under src/.
#
#   bloktar_layer(<target> [USES <lower folders>...] SOURCES <files>...)
#
# makes a static library of the folder's SOURCES that sees the whole src/ tree, and a step of the
# build that fails it when a file of the folder includes a header of any other folder under src/
# than the folder itself and USES. Link the libraries of USES to the target as well.
set(BLOKTAR_LAYER_CHECK ${CMAKE_CURRENT_LIST_DIR}/check_layer_includes.cmake)

function(bloktar_layer target)
    cmake_parse_arguments(PARSE_ARGV 1 LAYER "" "" "USES;SOURCES")
    get_filename_component(folder ${CMAKE_CURRENT_SOURCE_DIR} NAME)
    file(GLOB_RECURSE files CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.hpp
         ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h
         ${CMAKE_CURRENT_SOURCE_DIR}/*.cc)
    set(allowed ${folder} ${LAYER_USES})
    list(JOIN allowed "|" allowed)
    set(stamp ${CMAKE_CURRENT_BINARY_DIR}/${target}-includes-checked)
    add_custom_command(
        OUTPUT ${stamp}
        COMMAND ${CMAKE_COMMAND} -DSOURCE_ROOT=${PROJECT_SOURCE_DIR}/src -DFOLDER=${folder}
                -DALLOWED=${allowed} -DSTAMP=${stamp} -P ${BLOKTAR_LAYER_CHECK}
        DEPENDS ${files} ${BLOKTAR_LAYER_CHECK}
        COMMENT "Checking the includes of src/${folder}"
        VERBATIM)
    add_library(${target} STATIC ${LAYER_SOURCES} ${stamp})
    target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${target} PRIVATE bloktar_warnings)
endfunction()

# A program a user runs, on the library of its folder:
#
#   bloktar_program(<target> <library>)
#
# builds main.cpp at the top of the build folder, beside the other programs, as a standalone
# program, and puts it into the Windows release package.
function(bloktar_program target library)
    add_executable(${target} main.cpp)
    set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
    target_link_libraries(${target} PRIVATE ${library} bloktar_warnings)
    if(MINGW)
        # The C++ and GCC runtimes linked in, only Windows' own DLLs imported.
        target_link_options(${target} PRIVATE -static -municode $<$<CONFIG:Release>:-s>)
    elseif(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND NOT APPLE AND NOT BLOKTAR_SANITIZE)
        # The C++ runtime linked in: the dynamic loader's work for it took longer than converting
        # a small document.
        target_link_options(${target} PRIVATE -static-libstdc++ -static-libgcc)
    endif()
    if(WIN32)
        install(TARGETS ${target} RUNTIME DESTINATION .)
    endif()
endfunction()

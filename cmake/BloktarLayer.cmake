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

# Fails when a source file of one layer includes a header of a folder under src/ that the layer
# may not use. Run by the build (see BloktarLayer.cmake) before the layer's library is compiled.
#   -DSOURCE_ROOT=<the src folder> -DFOLDER=<the layer's folder> -DALLOWED=<folders, | between>
#   -DSTAMP=<file written when every include is allowed>
string(REPLACE "|" ";" allowed "${ALLOWED}")
file(GLOB entries LIST_DIRECTORIES true RELATIVE ${SOURCE_ROOT} ${SOURCE_ROOT}/*)
set(folders)
foreach(entry IN LISTS entries)
    if(IS_DIRECTORY ${SOURCE_ROOT}/${entry})
        list(APPEND folders ${entry})
    endif()
endforeach()

file(GLOB_RECURSE files ${SOURCE_ROOT}/${FOLDER}/*.hpp ${SOURCE_ROOT}/${FOLDER}/*.cpp
     ${SOURCE_ROOT}/${FOLDER}/*.h ${SOURCE_ROOT}/${FOLDER}/*.cc)
set(faults)
foreach(file IN LISTS files)
    file(STRINGS ${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<][^/\">]+/")
    foreach(line IN LISTS includes)
        string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[\"<]([^/\">]+)/.*$" "\\1" used "${line}")
        list(FIND folders "${used}" project_folder)
        list(FIND allowed "${used}" allowed_folder)
        if(project_folder GREATER_EQUAL 0 AND allowed_folder LESS 0)
            file(RELATIVE_PATH shown ${SOURCE_ROOT} ${file})
            string(STRIP "${line}" line)
            list(APPEND faults "  src/${shown}: ${line}")
        endif()
    endforeach()
endforeach()

if(faults)
    list(JOIN faults "\n" listed)
    string(REPLACE "|" ", " shown_allowed "${ALLOWED}")
    message(FATAL_ERROR
        "src/${FOLDER} may include only headers of ${shown_allowed}, but:\n${listed}")
endif()
file(WRITE ${STAMP} "")

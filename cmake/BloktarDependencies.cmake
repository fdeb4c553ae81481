# What the build needs beyond a C++20 compiler and CMake, looked for only where it is used:
#
#   BLOKTAR_COMPAT       bloktar-compat and the programs on its library (bloktar-inspect), which
#                        need zlib.
#   BLOKTAR_ISAL         ISA-L for bloktar-compat's archives on Linux; without it, zlib inflates
#                        them (the Windows programs always use zlib).
#   BLOKTAR_EXPORT       bloktar-export, on bloktar-compat's library, which needs the headers of
#                        stb_image and stb_image_write (Debian's libstb-dev, which the MinGW-w64
#                        build takes too: they are plain C).
#   BLOKTAR_BUILD_TESTS  the test suite, which needs GoogleTest and every program.
#
# Each is ON (required: configuring fails without it), OFF, or AUTO (built where what it needs is
# found, and configure says what is left out and what to install). The converter bloktar needs
# none of them. Every preset sets them ON, so that every check builds everything.
#
# Sets BLOKTAR_WITH_COMPAT, BLOKTAR_WITH_ISAL, BLOKTAR_WITH_EXPORT and BLOKTAR_WITH_TESTS to ON
# or OFF, BLOKTAR_STB_INCLUDE_DIR where stb is found, and the
# targets ZLIB::ZLIB and PkgConfig::ISAL where they are used.

set(BLOKTAR_COMPAT AUTO CACHE STRING
    "Build bloktar-compat and bloktar-inspect, which need zlib: ON, OFF or AUTO (where zlib is found)")
set(BLOKTAR_ISAL AUTO CACHE STRING
    "Inflate bloktar-compat's archives with ISA-L on Linux: ON, OFF or AUTO (where it is found)")
set(BLOKTAR_BUILD_TESTS AUTO CACHE STRING
    "Build the test suite: ON, OFF or AUTO (where GoogleTest and the companions' libraries are found)")
set(BLOKTAR_EXPORT AUTO CACHE STRING
    "Build bloktar-export, which needs bloktar-compat and stb's headers: ON, OFF or AUTO")
foreach(choice BLOKTAR_COMPAT BLOKTAR_ISAL BLOKTAR_EXPORT BLOKTAR_BUILD_TESTS)
    set_property(CACHE ${choice} PROPERTY STRINGS AUTO ON OFF)
endforeach()

set(BLOKTAR_INSTALL_HINT "scripts/install-deps base installs it")

# bloktar_choice(<variable> <out>): <out> becomes "AUTO", "ON" or "OFF" for the choice's value
# (any of CMake's true or false words is taken for ON or OFF).
function(bloktar_choice variable out)
    string(TOUPPER "${${variable}}" value)
    if(value STREQUAL "AUTO")
        set(${out} AUTO PARENT_SCOPE)
    elseif(value)
        set(${out} ON PARENT_SCOPE)
    else()
        set(${out} OFF PARENT_SCOPE)
    endif()
endfunction()

# zlib, for bloktar-compat and the programs on its library.
bloktar_choice(BLOKTAR_COMPAT compat_choice)
set(BLOKTAR_WITH_COMPAT OFF)
if(NOT compat_choice STREQUAL "OFF")
    if(MINGW)
        set(ZLIB_USE_STATIC_LIBS ON)  # the Windows programs link it in
    endif()
    if(compat_choice STREQUAL "ON")
        find_package(ZLIB REQUIRED)
    else()
        find_package(ZLIB)
    endif()
    set(BLOKTAR_WITH_COMPAT ${ZLIB_FOUND})
endif()
if(NOT BLOKTAR_WITH_COMPAT)
    if(compat_choice STREQUAL "OFF")
        message(STATUS "Not built: bloktar-compat and bloktar-inspect (BLOKTAR_COMPAT is OFF)")
    else()
        message(STATUS "Not built: bloktar-compat and bloktar-inspect, which need zlib "
                       "(Debian: zlib1g-dev; ${BLOKTAR_INSTALL_HINT})")
    endif()
endif()

# ISA-L, found by pkg-config, for the Linux program's archives.
bloktar_choice(BLOKTAR_ISAL isal_choice)
set(BLOKTAR_WITH_ISAL OFF)
if(BLOKTAR_WITH_COMPAT AND NOT MINGW AND NOT isal_choice STREQUAL "OFF")
    if(isal_choice STREQUAL "ON")
        find_package(PkgConfig REQUIRED)
        pkg_check_modules(ISAL REQUIRED IMPORTED_TARGET GLOBAL libisal)
    else()
        find_package(PkgConfig QUIET)
        if(PKG_CONFIG_FOUND)
            pkg_check_modules(ISAL QUIET IMPORTED_TARGET GLOBAL libisal)
        endif()
    endif()
    if(TARGET PkgConfig::ISAL)
        set(BLOKTAR_WITH_ISAL ON)
    else()
        message(STATUS "bloktar-compat inflates .mqoz archives with zlib: ISA-L was not found "
                       "(Debian: libisal-dev and pkg-config; ${BLOKTAR_INSTALL_HINT})")
    endif()
elseif(BLOKTAR_WITH_COMPAT AND NOT MINGW)
    message(STATUS "bloktar-compat inflates .mqoz archives with zlib (BLOKTAR_ISAL is OFF)")
endif()

# stb's headers, for bloktar-export's images.
bloktar_choice(BLOKTAR_EXPORT export_choice)
set(BLOKTAR_WITH_EXPORT OFF)
if(NOT export_choice STREQUAL "OFF")
    find_path(BLOKTAR_STB_INCLUDE_DIR stb_image_write.h PATHS /usr/include/stb NO_DEFAULT_PATH
              NO_CMAKE_FIND_ROOT_PATH)
    if(BLOKTAR_STB_INCLUDE_DIR AND BLOKTAR_WITH_COMPAT)
        set(BLOKTAR_WITH_EXPORT ON)
    elseif(export_choice STREQUAL "ON")
        message(FATAL_ERROR "BLOKTAR_EXPORT=ON needs bloktar-compat (zlib) and stb's headers "
                            "(Debian: libstb-dev; ${BLOKTAR_INSTALL_HINT})")
    else()
        message(STATUS "Not built: bloktar-export, which needs bloktar-compat and stb's headers "
                       "(Debian: zlib1g-dev and libstb-dev; ${BLOKTAR_INSTALL_HINT})")
    endif()
endif()

# GoogleTest, for the test suite, which runs every program.
bloktar_choice(BLOKTAR_BUILD_TESTS tests_choice)
set(BLOKTAR_WITH_TESTS OFF)
set(BLOKTAR_GOOGLETEST_SOURCE "")
if(NOT tests_choice STREQUAL "OFF" AND NOT CMAKE_CROSSCOMPILING)
    # Debian's libgtest-dev ships the sources, built here with the project's own flags
    # (sanitizers included); elsewhere an installed GoogleTest is used.
    if(EXISTS /usr/src/googletest/CMakeLists.txt AND NOT CMAKE_DISABLE_FIND_PACKAGE_GTest)
        set(BLOKTAR_GOOGLETEST_SOURCE /usr/src/googletest)
        set(gtest_found ON)
    elseif(tests_choice STREQUAL "ON")
        find_package(GTest REQUIRED)
        set(gtest_found ON)
    else()
        find_package(GTest QUIET)
        set(gtest_found ${GTest_FOUND})
    endif()
    if(tests_choice STREQUAL "ON" AND NOT BLOKTAR_WITH_COMPAT)
        message(FATAL_ERROR "The tests run every program: BLOKTAR_BUILD_TESTS=ON needs "
                            "bloktar-compat, and so zlib (${BLOKTAR_INSTALL_HINT})")
    endif()
    if(gtest_found AND BLOKTAR_WITH_COMPAT)
        set(BLOKTAR_WITH_TESTS ON)
    elseif(NOT gtest_found)
        message(STATUS "Not built: the tests, which need GoogleTest "
                       "(Debian: libgtest-dev; ${BLOKTAR_INSTALL_HINT})")
    else()
        message(STATUS "Not built: the tests, which run bloktar-compat and bloktar-inspect too")
    endif()
endif()

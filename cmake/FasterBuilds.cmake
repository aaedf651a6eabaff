# What makes a clean build quicker: precompiled headers and unity builds.

# Precompiled headers: the standard library for every target, GoogleTest
# beside it for the tests, wxWidgets beside it for the window. Each is
# compiled once per build folder and reused by every target of its kind.
# System headers only: a header of src/ in them would let a folder use
# another's without an #include, and tests/layers.py reads the includes a
# file writes. A file that forgets an #include of the standard library still
# compiles with them; the fuzz build, made without them, fails on it.
option(STRIVO_PRECOMPILED_HEADERS
       "Precompile the headers of the standard library, GoogleTest and wxWidgets" ON)

set(STRIVO_PCH_STANDARD
    <algorithm> <array> <atomic> <charconv> <chrono> <condition_variable> <cstddef> <cstdint>
    <cstdio> <cstdlib> <cstring> <filesystem> <functional> <map> <memory> <mutex> <optional>
    <set> <span> <sstream> <stop_token> <string> <string_view> <system_error> <thread>
    <unordered_map> <utility> <vector>)

# strivo_pch_target(kind HEADERS ... [LIBRARIES ...]): the target whose
# precompiled header the targets of that kind reuse, made on first use.
function(strivo_pch_target kind)
    cmake_parse_arguments(ARG "" "" "HEADERS;LIBRARIES" ${ARGN})
    set(pch strivo_pch_${kind})
    if(TARGET ${pch})
        return()
    endif()
    set(source ${CMAKE_BINARY_DIR}/pch/${kind}.cpp)
    file(CONFIGURE OUTPUT ${source} CONTENT "// The precompiled header's own compile.\n")
    add_library(${pch} OBJECT ${source})
    target_link_libraries(${pch} PRIVATE ${ARG_LIBRARIES})
    target_precompile_headers(${pch} PRIVATE ${ARG_HEADERS})
    strivo_warnings(${pch})
    if(kind STREQUAL "test")
        strivo_test_code(${pch})  # a header precompiled at -O2 is refused at -O0
    endif()
endfunction()

# strivo_precompiled_headers(target kind): `target` reuses the precompiled
# header of its kind: standard, test or wx.
function(strivo_precompiled_headers target kind)
    if(NOT STRIVO_PRECOMPILED_HEADERS)
        return()
    endif()
    if(kind STREQUAL "standard")
        strivo_pch_target(standard HEADERS ${STRIVO_PCH_STANDARD})
    elseif(kind STREQUAL "test")
        strivo_pch_target(test HEADERS ${STRIVO_PCH_STANDARD} <gmock/gmock.h> <gtest/gtest.h>
                          LIBRARIES GTest::gtest GTest::gmock)
    elseif(kind STREQUAL "wx")
        # Built as one unity batch, the window's files read wxWidgets'
        # headers once already: a header precompiled for them and the one
        # other file that includes them (SyncApp.cpp) costs more than it saves.
        if(STRIVO_UNITY_BUILD)
            return()
        endif()
        strivo_pch_target(wx HEADERS ${STRIVO_PCH_STANDARD} <wx/wx.h> LIBRARIES strivo_wx)
    endif()
    target_precompile_headers(${target} REUSE_FROM strivo_pch_${kind})
endfunction()

# Unity builds: the sources of a library compiled a few at a time as one, so
# the code its headers expand to (std::string's, std::vector's, ...) is
# instantiated and optimised once per batch rather than once per file; at
# -O2 that is half the library's compile. Two files of one library therefore
# cannot each keep a helper of the same name in an unnamed namespace. The
# fuzz build is made file by file, so a file that leans on a header another
# file of its batch included still fails there. Off, an edit recompiles only
# the file edited.
option(STRIVO_UNITY_BUILD "Compile each library's sources a few at a time as one" ON)

# strivo_unity_build(target): `target`'s sources in batches, as above.
function(strivo_unity_build target)
    if(NOT STRIVO_UNITY_BUILD)
        return()
    endif()
    set_target_properties(${target} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE 8)
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
        # GCC takes a file of the batch for a header, and warns of a class of
        # its own whose member has a type of the file's unnamed namespace.
        target_compile_options(${target} PRIVATE -Wno-subobject-linkage)
    endif()
endfunction()

# What makes a clean build quicker: precompiled headers.

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
        strivo_pch_target(wx HEADERS ${STRIVO_PCH_STANDARD} <wx/wx.h> LIBRARIES strivo_wx)
    endif()
    target_precompile_headers(${target} REUSE_FROM strivo_pch_${kind})
endfunction()


# Warnings apply to our own targets only; third-party headers come in as system headers.
# Designated initializers leave the members they do not name at their
# defaults on purpose; GCC 12 would warn about each.
function(strivo_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic
                                             -Wno-missing-field-initializers)
endfunction()

# A test's own code is compiled for a quick build, not a quick run: what it
# tests keeps the build's optimisation. Most of a test file's compile is
# spent optimising the code GoogleTest's macros expand to; at -O0 a test
# file compiles in a third of the time.
function(strivo_test_code target)
    target_compile_options(${target} PRIVATE -O0)
endfunction()

# strivo_library(name SOURCES ... DEPENDS ... [PRECOMPILED wx]): one library
# per src/ folder, on the standard library's precompiled header or another.
function(strivo_library name)
    cmake_parse_arguments(ARG "" "PRECOMPILED" "SOURCES;DEPENDS;PRIVATE_DEPENDS" ${ARGN})
    if(NOT ARG_PRECOMPILED)
        set(ARG_PRECOMPILED standard)
    endif()
    add_library(${name} STATIC ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} PUBLIC ${ARG_DEPENDS} PRIVATE ${ARG_PRIVATE_DEPENDS})
    strivo_warnings(${name})
    strivo_precompiled_headers(${name} ${ARG_PRECOMPILED})
    strivo_unity_build(${name})
endfunction()

# strivo_test(name SOURCES ... DEPENDS ... [PROPERTIES ...]): a GoogleTest binary
# registered with CTest, each case with the test properties given.
function(strivo_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS;PROPERTIES" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_DEPENDS} GTest::gtest GTest::gmock GTest::gtest_main)
    strivo_warnings(${name})
    strivo_test_code(${name})
    strivo_precompiled_headers(${name} test)
    set(filter)
    if(STRIVO_TEST_FILTER)  # tests that do not apply to the platform
        set(filter TEST_FILTER "${STRIVO_TEST_FILTER}")
    endif()
    # Under Wine, a list can wait for a busy machine to start the prefix's server.
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 300 ${filter}
                         PROPERTIES TIMEOUT 120 ${ARG_PROPERTIES})
endfunction()

include(${CMAKE_CURRENT_LIST_DIR}/FasterBuilds.cmake)

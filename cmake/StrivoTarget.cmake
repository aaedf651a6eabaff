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

# strivo_tests(SOURCES ... DEPENDS ... [SUITES ... PROPERTIES ...]): a
# folder's GoogleTest files, compiled into strivo_tests, the one program of
# the tests (tests/CMakeLists.txt), with the libraries they need. A program
# costs a link, and each of the Windows build's static ones more than most
# tests take to run. The cases of SUITES are registered apart, with the test
# PROPERTIES given (a fixture they need, say); the rest once every folder is
# read (strivo_register_tests).
function(strivo_tests)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS;SUITES;PROPERTIES" ${ARGN})
    target_sources(strivo_tests PRIVATE ${ARG_SOURCES})
    target_link_libraries(strivo_tests PRIVATE ${ARG_DEPENDS})
    if(ARG_SUITES)
        list(TRANSFORM ARG_SUITES APPEND ".*")
        set_property(GLOBAL APPEND PROPERTY STRIVO_SUITES_APART ${ARG_SUITES})
        strivo_discover_tests(strivo_tests "${ARG_SUITES}" ${ARG_PROPERTIES})
    endif()
endfunction()

# strivo_register_tests(): every case of strivo_tests not registered apart.
function(strivo_register_tests)
    get_property(apart GLOBAL PROPERTY STRIVO_SUITES_APART)
    strivo_discover_tests(strivo_tests "*" LEAVE_OUT ${apart})
endfunction()

# strivo_test(name SOURCES ... DEPENDS ... [PROPERTIES ...]): a GoogleTest
# program of its own, each case registered with the test properties given.
function(strivo_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS;PROPERTIES" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_DEPENDS} GTest::gtest GTest::gmock GTest::gtest_main)
    strivo_warnings(${name})
    strivo_test_code(${name})
    strivo_precompiled_headers(${name} test)
    strivo_discover_tests(${name} "*" ${ARG_PROPERTIES})
endfunction()

# strivo_discover_tests(program cases [LEAVE_OUT cases] [properties...]): the
# cases of `program` that match `cases` (GoogleTest patterns, Suite.*), less
# those left out and those the platform leaves out (STRIVO_TESTS_LEFT_OUT), as
# CTest tests, each case with the test properties given.
function(strivo_discover_tests program cases)
    cmake_parse_arguments(ARG "" "" "LEAVE_OUT" ${ARGN})
    set(left_out ${ARG_LEAVE_OUT} ${STRIVO_TESTS_LEFT_OUT})
    list(JOIN cases ":" filter)
    if(left_out)
        list(JOIN left_out ":" left_out)
        string(APPEND filter "-${left_out}")
    endif()
    # Under Wine, a list can wait for a busy machine to start the prefix's server.
    gtest_discover_tests(${program} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 300
                         TEST_FILTER "${filter}"
                         PROPERTIES TIMEOUT 120 ${ARG_UNPARSED_ARGUMENTS})
endfunction()

include(${CMAKE_CURRENT_LIST_DIR}/FasterBuilds.cmake)

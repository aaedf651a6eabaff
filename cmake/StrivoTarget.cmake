# Warnings apply to our own targets only; third-party headers come in as system headers.
# Designated initializers leave the members they do not name at their
# defaults on purpose; GCC 12 would warn about each.
function(strivo_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic
                                             -Wno-missing-field-initializers)
endfunction()

# strivo_library(name SOURCES ... DEPENDS ...): one library per src/ folder.
function(strivo_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS;PRIVATE_DEPENDS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} PUBLIC ${ARG_DEPENDS} PRIVATE ${ARG_PRIVATE_DEPENDS})
    strivo_warnings(${name})
endfunction()

# strivo_test(name SOURCES ... DEPENDS ... [PROPERTIES ...]): a GoogleTest binary
# registered with CTest, each case with the test properties given.
function(strivo_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS;PROPERTIES" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_DEPENDS} GTest::gtest GTest::gmock GTest::gtest_main)
    strivo_warnings(${name})
    set(filter)
    if(STRIVO_TEST_FILTER)  # tests that do not apply to the platform
        set(filter TEST_FILTER "${STRIVO_TEST_FILTER}")
    endif()
    # Under Wine, a list can wait for a busy machine to start the prefix's server.
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 300 ${filter}
                         PROPERTIES TIMEOUT 120 ${ARG_PROPERTIES})
endfunction()

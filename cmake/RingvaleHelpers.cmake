# Shared build helpers: warnings, sanitizers and one function to declare a unit test.

function(ringvale_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
    if(RINGVALE_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()

macro(ringvale_apply_sanitizers)
    if(RINGVALE_SANITIZE STREQUAL "address")
        add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
        add_link_options(-fsanitize=address,undefined)
    elseif(RINGVALE_SANITIZE STREQUAL "thread")
        add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
        add_link_options(-fsanitize=thread)
    elseif(NOT RINGVALE_SANITIZE STREQUAL "")
        message(FATAL_ERROR "RINGVALE_SANITIZE must be empty, 'address' or 'thread'")
    endif()
endmacro()

# Test programs are compiled for build speed rather than run speed: they spend their time
# waiting on terminals, sockets and child processes, and the code under test keeps the flags
# of the build type. -g1 keeps function names and line numbers for sanitizer reports.
if(CMAKE_BUILD_TYPE STREQUAL "Debug")
    set(RINGVALE_TEST_FLAGS_DEFAULT "")
else()
    set(RINGVALE_TEST_FLAGS_DEFAULT "-Og -g1")
endif()
set(RINGVALE_TEST_FLAGS "${RINGVALE_TEST_FLAGS_DEFAULT}" CACHE STRING
    "Optimisation and debug flags for the test programs (after the build type's)")

function(ringvale_test_flags target)
    separate_arguments(flags UNIX_COMMAND "${RINGVALE_TEST_FLAGS}")
    target_compile_options(${target} PRIVATE ${flags})
    ringvale_warnings(${target})
endfunction()

# ringvale_add_test(NAME name SOURCES a.cpp b.cpp LIBS lib1 lib2 [ENV VAR=value ...] [LABELS l ...]
#                   [TIMEOUT s] [PCH target] [RUNNER command ...])
# PCH names a target whose precompiled GoogleTest headers the test reuses (same flags only).
# RUNNER runs the test program through a command (e.g. dbus-run-session -- for a bus session).
function(ringvale_add_test)
    cmake_parse_arguments(T "" "NAME;TIMEOUT;PCH" "SOURCES;LIBS;ENV;LABELS;RUNNER" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock Threads::Threads)
    set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    ringvale_test_flags(${T_NAME})
    if(T_PCH)
        target_precompile_headers(${T_NAME} REUSE_FROM ${T_PCH})
    endif()
    add_test(NAME ${T_NAME} COMMAND ${T_RUNNER} $<TARGET_FILE:${T_NAME}> WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 300)
    endif()
    set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT}
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;RINGVALE_BIN_DIR=${CMAKE_BINARY_DIR}/bin;RINGVALE_SOURCE_DIR=${CMAKE_SOURCE_DIR};${T_ENV}")
    if(T_LABELS)
        set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}")
    endif()
endfunction()

# orvex_library(<name> SOURCES ... [DEPS ...]): one static library per src/ folder.
# Targets are named after the folder (platform/base -> orvex_platform_base).
function(orvex_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
endfunction()

# Link options for what the loader loads at start-up (the program and its modules):
# relative relocations packed (RELR: a bitmap instead of an entry per pointer), the
# symbol table hashed for the loader's lookups, no library linked that nothing uses.
set(ORVEX_LOADED_LINK_OPTIONS LINKER:-O1 LINKER:--as-needed LINKER:--hash-style=gnu)
include(CheckLinkerFlag)
check_linker_flag(CXX LINKER:-z,pack-relative-relocs ORVEX_LINKER_PACKS_RELOCS)
if(ORVEX_LINKER_PACKS_RELOCS)
    list(APPEND ORVEX_LOADED_LINK_OPTIONS LINKER:-z,pack-relative-relocs)
endif()

# orvex_module(<target> <file> LOADED_BY <library> SOURCES ... DEPS ...): code that pulls in libraries
# slower to load than the rest of the program's start, as a module that its first
# use loads (Modules.h), kept beside the program and installed in lib/orvex.
function(orvex_module target file)
    cmake_parse_arguments(ARG "" "LOADED_BY" "SOURCES;DEPS" ${ARGN})
    add_library(${target} MODULE ${ARG_SOURCES})
    set_target_properties(${target} PROPERTIES PREFIX "" OUTPUT_NAME ${file}
        LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR} CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
    target_include_directories(${target} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${target} PRIVATE ${ARG_DEPS})
    target_link_options(${target} PRIVATE LINKER:--exclude-libs,ALL LINKER:--no-undefined ${ORVEX_LOADED_LINK_OPTIONS})
    add_dependencies(${ARG_LOADED_BY} ${target})
    install(TARGETS ${target} LIBRARY DESTINATION lib/orvex)
endfunction()

# orvex_whole_test(<name> <environment>): runs test program <name> as a whole, every
# test in one process: one start-up per program rather than per test, and a test that
# leaks files or state into a later one fails.
function(orvex_whole_test name environment)
    add_test(NAME ${name}.whole COMMAND ${name})
    set_tests_properties(${name}.whole PROPERTIES ENVIRONMENT "${environment}")
endfunction()

# orvex_test(<name> SOURCES ... [DEPS ...]): one GoogleTest executable per library.
function(orvex_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE orvex_testsupport ${ARG_DEPS})
    # GoogleTest's assertion macros expand to if/else, which GCC flags inside a braceless if.
    target_compile_options(${name} PRIVATE -Wno-dangling-else)
    orvex_whole_test(${name} "QT_QPA_PLATFORM=offscreen")
endfunction()

# orvex_keychain_test(<name> SOURCES ... [DEPS ...]): a test program run twice, its
# tests named *WithService* in a private session bus with a keyring daemon of its
# own (the real secret service), the others with no session bus at all.
function(orvex_keychain_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE orvex_testsupport ${ARG_DEPS})
    target_compile_options(${name} PRIVATE -Wno-dangling-else)
    add_test(NAME ${name}.with_service
        COMMAND ${CMAKE_SOURCE_DIR}/tests/support/with-secret-service.sh $<TARGET_FILE:${name}> --gtest_filter=*WithService*)
    set_tests_properties(${name}.with_service PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
    add_test(NAME ${name}.without_service COMMAND ${name} --gtest_filter=-*WithService*)
    set_tests_properties(${name}.without_service PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/orvex-no-bus")
endfunction()

# orvex_x_test(<name> <filter>): the tests of program <name> that <filter> names, run
# again on a virtual X screen of their own, where window activation and keyboard focus
# are the window system's.
function(orvex_x_test name filter)
    add_test(NAME ${name}.on_x
        COMMAND ${CMAKE_SOURCE_DIR}/tests/support/with-xvfb.sh $<TARGET_FILE:${name}> --gtest_filter=${filter})
endfunction()

# orvex_wm_test(<name> <filter>): the same, with a window manager that frames the
# windows a moment after they show, as on a desktop.
function(orvex_wm_test name filter)
    add_test(NAME ${name}.under_wm
        COMMAND ${CMAKE_SOURCE_DIR}/tests/support/with-xvfb.sh --window-manager $<TARGET_FILE:${name}> --gtest_filter=${filter})
endfunction()

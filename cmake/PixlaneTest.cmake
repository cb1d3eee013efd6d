# pixlane_test_environment(NAME VAR): the environment of test NAME in VAR, a HOME and
# XDG_CONFIG_HOME of its own, so that nothing can touch the real user's settings.
function(pixlane_test_environment name var)
    set(sandbox ${CMAKE_BINARY_DIR}/test-home/${name})
    file(MAKE_DIRECTORY ${sandbox})
    set(${var} "HOME=${sandbox}" "XDG_CONFIG_HOME=${sandbox}/.config" "QT_LOGGING_RULES=pixlane.trace=false" PARENT_SCOPE)
endfunction()

# pixlane_test(NAME SOURCES ... DEPS ... [WIDGETS] [LABELS ...])
# Builds one GoogleTest binary that links the layer libraries and registers it with CTest.
# WIDGETS runs it under the offscreen platform. Every test gets its own HOME and
# XDG_CONFIG_HOME so that nothing can touch the real user's settings.
function(pixlane_test name)
    cmake_parse_arguments(PT "WIDGETS" "TIMEOUT" "SOURCES;DEPS;LABELS" ${ARGN})
    add_executable(${name} ${PT_SOURCES})
    target_link_libraries(${name} PRIVATE ${PT_DEPS} GTest::gmock GTest::gtest)
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
    pixlane_warnings(${name})
    pixlane_test_environment(${name} env)
    if(PT_WIDGETS)
        list(APPEND env "QT_QPA_PLATFORM=offscreen")
    endif()
    if(NOT PT_TIMEOUT)
        set(PT_TIMEOUT 300)
    endif()
    add_test(NAME ${name} COMMAND ${name} --gtest_color=no)
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${env}" TIMEOUT ${PT_TIMEOUT})
    if(PT_LABELS)
        set_tests_properties(${name} PROPERTIES LABELS "${PT_LABELS}")
    endif()
endfunction()

# pixlane_test_with_zlib(NAME): for a test that writes gzip files of its own, where this
# build reads them.
function(pixlane_test_with_zlib name)
    if(ZLIB_FOUND)
        target_link_libraries(${name} PRIVATE ZLIB::ZLIB)
        target_compile_definitions(${name} PRIVATE PIXLANE_HAVE_ZLIB=1)
    else()
        target_compile_definitions(${name} PRIVATE PIXLANE_HAVE_ZLIB=0)
    endif()
endfunction()

# Warnings as errors on our own targets only (system and Qt headers are not ours).
function(pixlane_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()

# A static library of one layer: pixlane_library(NAME SOURCES ... [PUBLIC ...] [PRIVATE ...])
# PUBLIC names what its headers include, which whoever links it gets too; PRIVATE what only
# its sources use.
function(pixlane_library name)
    cmake_parse_arguments(PL "" "" "SOURCES;PUBLIC;PRIVATE" ${ARGN})
    add_library(${name} STATIC ${PL_SOURCES})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${PL_PUBLIC} PRIVATE ${PL_PRIVATE})
    pixlane_warnings(${name})
endfunction()

# Build helpers shared by every folder of the package.

set(PKG_WARNINGS -Wall -Wextra -Wpedantic -Wno-missing-field-initializers)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  list(APPEND PKG_WARNINGS -Wshadow=local)
else()
  # The system's records nest anonymous structs in anonymous unions (marked __extension__).
  list(APPEND PKG_WARNINGS -Wshadow-uncaptured-local -Wno-nested-anon-types)
endif()

# The fuzz build instruments every library and program once, here, so that
# each harness sees the coverage of all the code it drives.
if(PKG_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

if(PKG_SANITIZE_FUNCTION)
  execute_process(
    COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libclang_rt.ubsan_standalone-${CMAKE_SYSTEM_PROCESSOR}.so
    OUTPUT_VARIABLE PKG_UBSAN_RUNTIME OUTPUT_STRIP_TRAILING_WHITESPACE)
  get_filename_component(PKG_SANITIZER_RUNTIME_DIR "${PKG_UBSAN_RUNTIME}" DIRECTORY)
endif()

function(pkg_target_defaults target)
  target_compile_options(${target} PRIVATE ${PKG_WARNINGS})
  if(PKG_SANITIZE)
    target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-omit-frame-pointer
                                             -fno-sanitize-recover=undefined)
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
  endif()
  # A function called through a pointer of another type is reported (clang
  # checks the C++ callers; the reports are left recoverable so that
  # UBSAN_OPTIONS decides whether the first one stops the process). Every
  # library and program links the one shared runtime, so that a library's
  # checks resolve at its link as its other imports must.
  if(PKG_SANITIZE_FUNCTION)
    target_compile_options(${target} PRIVATE -fsanitize=undefined -fno-omit-frame-pointer)
    target_link_options(${target} PRIVATE -fsanitize=undefined -shared-libsan
                                          -Wl,-rpath,${PKG_SANITIZER_RUNTIME_DIR})
  endif()
endfunction()

# The version every library and program of the package carries in its
# version resource (the Support page lists it).
set(PKG_VERSION_TEXT "5.01.053")
set(PKG_VERSION_COMMAS "5,1,0,53")

# Gives a library or program of the package its version resource: through its
# own resource script when it has one (pkg_embed_resources), else alone once
# the folder is read.
function(pkg_version_resource target file type)
  set_target_properties(${target} PROPERTIES PKG_VERSION_FILE "${file}" PKG_VERSION_TYPE "${type}")
  cmake_language(EVAL CODE "cmake_language(DEFER CALL pkg_version_resource_alone ${target})")
endfunction()

function(pkg_version_resource_alone target)
  get_target_property(has ${target} PKG_HAS_RESOURCES)
  if(NOT has)
    pkg_embed_resources(${target} "${CMAKE_SOURCE_DIR}/cmake/empty.rc")
  endif()
endfunction()

# pkg_add_deliverable(<target> FILE <package file name> SOURCES ... [LIBS ...])
# A library of the package: an ELF shared object named as the package names it
# (e.g. Modelsmith.DLL), placed in the driver directory. Only symbols marked
# DLLEXPORT are visible, as on the system the package is written for.
# Every file of the driver directory, so that one target builds what
# `printhost install` copies (the main job builds only that and printhost).
if(NOT TARGET driver_folder)
  add_custom_target(driver_folder)
endif()

function(pkg_add_deliverable target)
  cmake_parse_arguments(A "" "FILE" "SOURCES;LIBS" ${ARGN})
  add_library(${target} SHARED ${A_SOURCES})
  add_dependencies(driver_folder ${target})
  set_target_properties(${target} PROPERTIES
    PREFIX "" SUFFIX "" OUTPUT_NAME "${A_FILE}"
    LIBRARY_OUTPUT_DIRECTORY "${PKG_DRIVER_DIR}"
    CXX_VISIBILITY_PRESET hidden C_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  target_link_libraries(${target} PRIVATE platform ${A_LIBS})
  # Every symbol must resolve at link time, as a DLL's imports must; clang's
  # sanitizer runtimes are only linked into executables, so not there.
  if(NOT (PKG_SANITIZE AND CMAKE_CXX_COMPILER_ID STREQUAL "Clang"))
    target_link_options(${target} PRIVATE -Wl,--no-undefined)
  endif()
  pkg_target_defaults(${target})
  pkg_version_resource(${target} "${A_FILE}" 2)
endfunction()

# pkg_add_program(<target> FILE <package file name> SOURCES ... [LIBS ...])
# A program of the package (e.g. Jobprompt.EXE), placed in the driver directory.
function(pkg_add_program target)
  cmake_parse_arguments(A "" "FILE" "SOURCES;LIBS" ${ARGN})
  add_executable(${target} ${A_SOURCES})
  add_dependencies(driver_folder ${target})
  set_target_properties(${target} PROPERTIES OUTPUT_NAME "${A_FILE}"
    RUNTIME_OUTPUT_DIRECTORY "${PKG_DRIVER_DIR}")
  target_link_libraries(${target} PRIVATE platform ${A_LIBS})
  pkg_target_defaults(${target})
  pkg_version_resource(${target} "${A_FILE}" 1)
endfunction()

# pkg_add_tool(<target> SOURCES ... [LIBS ...]): a developer/user tool in build/<preset>/bin.
function(pkg_add_tool target)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${target} ${A_SOURCES})
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${PKG_TOOLS_DIR}")
  target_link_libraries(${target} PRIVATE platform ${A_LIBS})
  pkg_target_defaults(${target})
endfunction()

# pkg_add_test(<target> SOURCES ... [LIBS ...] [LABELS unit|integration|e2e] [DEPENDS targets]
#              [STRESS test|test...])
# A GoogleTest program registered with CTest; every test gets a fresh machine root
# through the platform_testing fixture. The tests STRESS names, a regular expression of
# whole test names (races run for many rounds at random moments), carry the label
# "stress" besides their own, so that `ctest -LE stress` leaves them out of a quick
# run; a run that chooses no label runs them.
function(pkg_add_test target)
  if(PKG_FUZZ)
    return()
  endif()
  cmake_parse_arguments(A "" "STRESS" "SOURCES;LIBS;LABELS;DEPENDS" ${ARGN})
  if(NOT A_LABELS)
    set(A_LABELS unit)
  endif()
  add_executable(${target} ${A_SOURCES})
  target_link_libraries(${target} PRIVATE platform platform_testing GTest::gtest GTest::gtest_main ${A_LIBS})
  pkg_target_defaults(${target})
  if(A_DEPENDS)
    add_dependencies(${target} ${A_DEPENDS})
  endif()
  target_compile_definitions(${target} PRIVATE
    PKG_DRIVER_DIR="${PKG_DRIVER_DIR}" PKG_TOOLS_DIR="${PKG_TOOLS_DIR}"
    PKG_SOURCE_DIR="${CMAKE_SOURCE_DIR}" PKG_BINARY_DIR="${CMAKE_BINARY_DIR}")
  gtest_discover_tests(${target} PROPERTIES LABELS "${A_LABELS}" DISCOVERY_TIMEOUT 60)
  if(A_STRESS)
    # Discovery hands its properties through several list expansions, which
    # split a second label off as a property of its own: the stress tests get
    # their labels when CTest reads the discovered tests, after that list.
    set(stress_file "${CMAKE_CURRENT_BINARY_DIR}/${target}_stress.cmake")
    file(WRITE "${stress_file}"
         "foreach(test IN LISTS ${target}_TESTS)\n"
         "  if(test MATCHES \"^(${A_STRESS})$\")\n"
         "    set_tests_properties(\"\${test}\" PROPERTIES LABELS \"${A_LABELS};stress\")\n"
         "  endif()\n"
         "endforeach()\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${stress_file}")
  endif()
endfunction()

# pkg_add_fuzzer(<target> SOURCES ... [LIBS ...] CORPUS dir [MAX_LEN bytes]): a libFuzzer
# harness, built only with the fuzz preset, with its seed corpus and the largest input its
# format needs (4096 when not given). scripts/fuzz.sh runs every harness listed in
# build/fuzz/fuzzers.txt.
function(pkg_add_fuzzer target)
  if(NOT PKG_FUZZ)
    return()
  endif()
  cmake_parse_arguments(A "" "CORPUS;MAX_LEN" "SOURCES;LIBS" ${ARGN})
  if(NOT A_CORPUS)
    # scripts/fuzz.sh lists such a harness as having no seeds.
    message(WARNING "pkg_add_fuzzer(${target}): a harness needs a seed corpus (CORPUS)")
  endif()
  if(NOT A_MAX_LEN)
    set(A_MAX_LEN 4096)
  endif()
  add_executable(${target} ${A_SOURCES})
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/fuzzers")
  target_link_libraries(${target} PRIVATE platform ${A_LIBS})
  target_compile_options(${target} PRIVATE -fsanitize=fuzzer)
  target_link_options(${target} PRIVATE -fsanitize=fuzzer)
  pkg_target_defaults(${target})
  file(APPEND "${CMAKE_BINARY_DIR}/fuzzers.txt" "${target} ${A_MAX_LEN} ${A_CORPUS}\n")
endfunction()

# pkg_add_benchmark(<target> SOURCES ... [LIBS ...]): a Google Benchmark program in build/<preset>/bench.
function(pkg_add_benchmark target)
  if(PKG_FUZZ OR PKG_SANITIZE)
    return()
  endif()
  cmake_parse_arguments(A "" "" "SOURCES;LIBS" ${ARGN})
  find_package(benchmark REQUIRED)
  add_executable(${target} ${A_SOURCES})
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/bench")
  target_link_libraries(${target} PRIVATE platform benchmark::benchmark ${A_LIBS})
  pkg_target_defaults(${target})
endfunction()

# pkg_embed_resources(<target> <file.rc> [DEPENDS files...])
# Compiles a resource script with windres into a .res file and links its bytes
# into the target between the symbols PlatformResourceBlob and
# PlatformResourceBlobEnd (extern "C", default visibility), where the
# platform's FindResource/LoadString look for a module's resources. The script
# is preprocessed by the host's C preprocessor with RC_INVOKED defined and the
# platform's user headers on the include path (win/user_constants.h holds the
# style and control constants a script needs). DEPENDS names the files the
# script includes (.h, .bmp, .ico, .cur) so that a change rebuilds it.
function(pkg_embed_resources target rc)
  cmake_parse_arguments(A "" "" "DEPENDS" ${ARGN})
  find_program(PKG_WINDRES x86_64-w64-mingw32-windres REQUIRED)
  get_filename_component(rc_abs "${rc}" ABSOLUTE)
  get_filename_component(rc_dir "${rc_abs}" DIRECTORY)
  get_filename_component(rc_name "${rc_abs}" NAME_WE)
  set(res "${CMAKE_CURRENT_BINARY_DIR}/${target}_${rc_name}.res")
  # A library or program of the package gets its version resource beside
  # the script's own.
  get_target_property(version_file ${target} PKG_VERSION_FILE)
  # A script made at build time (a library's drawn pictures) holds none.
  set(own_version -1)
  if(EXISTS "${rc_abs}")
    file(READ "${rc_abs}" rc_text)
    string(FIND "${rc_text}" "VERSIONINFO" own_version)
  endif()
  if(version_file)
    set_target_properties(${target} PROPERTIES PKG_HAS_RESOURCES ON)
  endif()
  if(version_file AND own_version EQUAL -1)
    get_target_property(PKG_VERSION_TYPE ${target} PKG_VERSION_TYPE)
    set(PKG_VERSION_FILE "${version_file}")
    set(versioned "${CMAKE_CURRENT_BINARY_DIR}/${target}_${rc_name}_versioned.rc")
    configure_file("${CMAKE_SOURCE_DIR}/cmake/version.rc.in" "${versioned}.version" @ONLY)
    file(READ "${versioned}.version" version_block)
    file(CONFIGURE OUTPUT "${versioned}" CONTENT "#include \"${rc_abs}\"\n\n${version_block}" @ONLY)
    list(APPEND A_DEPENDS "${rc_abs}" "${CMAKE_SOURCE_DIR}/cmake/version.rc.in")
    set(rc_abs "${versioned}")
  endif()
  set(blob "${CMAKE_CURRENT_BINARY_DIR}/${target}_${rc_name}_res.cpp")
  add_custom_command(OUTPUT "${res}"
    COMMAND "${PKG_WINDRES}" -c 65001 --input-format=rc --output-format=res
            "--preprocessor=${CMAKE_C_COMPILER}" --preprocessor-arg=-E --preprocessor-arg=-xc-header
            --preprocessor-arg=-DRC_INVOKED
            "--include-dir=${rc_dir}" "--include-dir=${CMAKE_SOURCE_DIR}/platform/user/include"
            -i "${rc_abs}" -o "${res}"
    DEPENDS "${rc_abs}" ${A_DEPENDS}
    WORKING_DIRECTORY "${rc_dir}"
    COMMENT "Compiling resources ${rc_name}.rc for ${target}"
    VERBATIM)
  file(CONFIGURE OUTPUT "${blob}" CONTENT
"// Generated by pkg_embed_resources: the module's compiled resources.
__asm__(\".section .rodata\\n\"
        \".balign 16\\n\"
        \".globl PlatformResourceBlob\\n\"
        \".type PlatformResourceBlob, @object\\n\"
        \"PlatformResourceBlob:\\n\"
        \".incbin \\\"${res}\\\"\\n\"
        \".globl PlatformResourceBlobEnd\\n\"
        \".type PlatformResourceBlobEnd, @object\\n\"
        \"PlatformResourceBlobEnd:\\n\"
        \".byte 0\\n\"
        \".previous\\n\");
")
  set_source_files_properties("${blob}" PROPERTIES OBJECT_DEPENDS "${res}" GENERATED TRUE)
  target_sources(${target} PRIVATE "${blob}")
endfunction()

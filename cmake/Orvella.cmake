# Shared build helpers for every area.

# Warnings are errors for our own code.
# (The fuzz build is compiled by clang, whose extra warnings are not the build's gate.)
function(orvella_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra $<$<NOT:$<BOOL:${ORVELLA_FUZZ}>>:-Werror>
    $<$<COMPILE_LANGUAGE:CXX>:-Wno-missing-field-initializers>)
endfunction()

# A shared object staged in the program folder: orvella_stage_library(target DIR subdir NAME basename)
function(orvella_stage_library target)
  cmake_parse_arguments(A "" "DIR;NAME" "" ${ARGN})
  set(dir "${ORVELLA_STAGE}")
  if(A_DIR)
    set(dir "${ORVELLA_STAGE}/${A_DIR}")
  endif()
  set_target_properties(${target} PROPERTIES
    PREFIX "" LIBRARY_OUTPUT_DIRECTORY "${dir}" RUNTIME_OUTPUT_DIRECTORY "${dir}")
  if(A_NAME)
    set_target_properties(${target} PROPERTIES OUTPUT_NAME "${A_NAME}")
  endif()
endfunction()

# An executable staged in the program folder, exporting its symbols so loaded
# plug-ins can resolve the host's C functions.
function(orvella_stage_executable target)
  set_target_properties(${target} PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY "${ORVELLA_STAGE}" ENABLE_EXPORTS ON)
endfunction()

# orvella_add_test(name SOURCES ... LIBS ... [LABELS ...] [TIMEOUT s])
# One GoogleTest binary; every test case becomes a CTest test.
function(orvella_add_test name)
  cmake_parse_arguments(A "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE ${A_LIBS} GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
  set_target_properties(${name} PROPERTIES ENABLE_EXPORTS ON
    RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/tests")
  target_compile_definitions(${name} PRIVATE
    ORVELLA_STAGE_DIR="${ORVELLA_STAGE}"
    ORVELLA_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    ORVELLA_BINARY_DIR="${CMAKE_BINARY_DIR}")
  orvella_warnings(${name})
  if(ORVELLA_TSAN AND NOT "${A_SOURCES}" MATCHES "KeepLibraries.cpp")
    # ThreadSanitizer runs at exit the handlers of libraries unloaded long before: keep ours mapped.
    target_sources(${name} PRIVATE "${CMAKE_SOURCE_DIR}/tests/engine/KeepLibraries.cpp")
  endif()
  if(ORVELLA_ASAN OR ORVELLA_TSAN)
    target_sources(${name} PRIVATE "${CMAKE_SOURCE_DIR}/cmake/SanitizerKeepVlcPlugins.cpp")
  endif()
  if(NOT A_TIMEOUT)
    set(A_TIMEOUT 120)
  endif()
  set(props TIMEOUT ${A_TIMEOUT} ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60 TEST_LIST ${name}_TESTS
    PROPERTIES ${props})
  if(A_LABELS)
    # Labels are set on the discovered tests by a file CTest reads after the discovery's own:
    # passed through the discovery's properties, a list of labels arrives as its first one only.
    set(inc "${CMAKE_CURRENT_BINARY_DIR}/${name}_labels.cmake")
    file(WRITE "${inc}" "if(${name}_TESTS)\n  set_tests_properties(\${${name}_TESTS} PROPERTIES LABELS \"${A_LABELS}\")\nendif()\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${inc}")
  endif()
endfunction()

# orvella_add_fuzzer(name SOURCES ... LIBS ... [ARGS seed files and driver options] [DICT file]
#                    [SEED_SCRIPT script])
# With ORVELLA_FUZZ (clang) this is a libFuzzer target: the whole build is compiled for
# coverage with ASan and UBSan, and `make fuzz` runs every target from its seeds (the files
# in ARGS, plus what SEED_SCRIPT generates into a folder given as its argument) with its
# dictionary. Otherwise it is linked with a small driver that replays the seeds and mutated
# inputs, registered as a short test.
function(orvella_add_fuzzer name)
  cmake_parse_arguments(A "" "DICT;SEED_SCRIPT" "SOURCES;LIBS;ARGS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE ${A_LIBS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/fuzz")
  if(ORVELLA_FUZZ)
    target_compile_definitions(${name} PRIVATE ORVELLA_LIBFUZZER=1)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    set(seeds "")
    foreach(arg ${A_ARGS})
      if(NOT arg MATCHES "^--")
        list(APPEND seeds "${arg}")
      endif()
    endforeach()
    string(REPLACE ";" "," seeds "${seeds}")
    set_property(GLOBAL APPEND PROPERTY ORVELLA_FUZZERS
      "${name}|$<TARGET_FILE:${name}>|${seeds}|${A_DICT}|${A_SEED_SCRIPT}")
    if(NOT TARGET fuzz_all)
      add_custom_target(fuzz_all)
    endif()
    add_dependencies(fuzz_all ${name})
  else()
    target_sources(${name} PRIVATE "${CMAKE_SOURCE_DIR}/fuzz/driver.cpp")
    add_test(NAME fuzz.${name} COMMAND ${name} --runs=3000 ${A_ARGS})
    set_tests_properties(fuzz.${name} PROPERTIES TIMEOUT 120 LABELS fuzz)
  endif()
endfunction()

# Writes the list of fuzz targets (one "name|binary|seeds|dictionary|seed script" a line)
# for scripts/run-fuzz.sh.
function(orvella_write_fuzz_manifest)
  get_property(fuzzers GLOBAL PROPERTY ORVELLA_FUZZERS)
  string(REPLACE ";" "\n" text "${fuzzers}")
  file(GENERATE OUTPUT "${CMAKE_BINARY_DIR}/fuzz/targets.txt" CONTENT "${text}\n")
endfunction()

# In the fuzz build (clang) shared objects take the sanitizer runtime from the fuzz
# executable that loads them, so they cannot insist on resolving every symbol at link time.
function(orvella_allow_sanitizer_undefined dir)
  get_property(targets DIRECTORY "${dir}" PROPERTY BUILDSYSTEM_TARGETS)
  foreach(t ${targets})
    get_target_property(type ${t} TYPE)
    if(type STREQUAL "SHARED_LIBRARY" OR type STREQUAL "MODULE_LIBRARY")
      get_target_property(opts ${t} LINK_OPTIONS)
      if(opts)
        list(REMOVE_ITEM opts "-Wl,--no-undefined")
        set_target_properties(${t} PROPERTIES LINK_OPTIONS "${opts}")
      endif()
    endif()
  endforeach()
  get_property(subdirs DIRECTORY "${dir}" PROPERTY SUBDIRECTORIES)
  foreach(sub ${subdirs})
    orvella_allow_sanitizer_undefined("${sub}")
  endforeach()
endfunction()

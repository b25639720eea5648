# Shared build helpers for every area.

# Warnings are errors for our own code.
function(orvella_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror
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
  if(NOT A_TIMEOUT)
    set(A_TIMEOUT 120)
  endif()
  set(props TIMEOUT ${A_TIMEOUT} ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
  if(A_LABELS)
    # Several labels are one list-valued property: keep the list together.
    string(REPLACE ";" "\\;" labels "${A_LABELS}")
    list(APPEND props LABELS "${labels}")
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60 PROPERTIES ${props})
endfunction()

# orvella_add_fuzzer(name SOURCES ... LIBS ... [SEEDS dir])
# With ORVELLA_FUZZ (clang) this is a libFuzzer target. Otherwise it is linked with
# a small driver that replays seeds and mutated inputs, registered as a short test.
function(orvella_add_fuzzer name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS;ARGS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE ${A_LIBS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/fuzz")
  if(ORVELLA_FUZZ)
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  else()
    target_sources(${name} PRIVATE "${CMAKE_SOURCE_DIR}/fuzz/driver.cpp")
    add_test(NAME fuzz.${name} COMMAND ${name} --runs=3000 ${A_ARGS})
    set_tests_properties(fuzz.${name} PROPERTIES TIMEOUT 120 LABELS fuzz)
  endif()
endfunction()

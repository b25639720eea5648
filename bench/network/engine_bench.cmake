# The engine's side: the UI thread while connecting, Close of a hung or stalled stream, open to
# first audible sample (needs ffmpeg at run time). The servers are the tests' HTTP helper.
if(TARGET orvella_engine_testutil)
  add_executable(bench_network_engine "${CMAKE_CURRENT_LIST_DIR}/engine_open_bench.cpp")
  target_link_libraries(bench_network_engine PRIVATE orvella_engine orvella_engine_testutil orvella_host_exports)
  target_include_directories(bench_network_engine PRIVATE "${CMAKE_SOURCE_DIR}/tests/engine")
  set_target_properties(bench_network_engine PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/bench"
    ENABLE_EXPORTS ON)
  orvella_warnings(bench_network_engine)
endif()

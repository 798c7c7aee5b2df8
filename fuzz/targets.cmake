# The per-input code of the fuzz targets, compiled once into a library
# that the libFuzzer mains (fuzz/CMakeLists.txt) and the replay of the kept
# inputs (tests/fuzz_regressions_test.cpp) both link.  It is built with the
# flags of the build at hand and needs no fuzzer runtime: the fuzz preset
# adds -fsanitize=fuzzer-no-link to every object, the ordinary builds do not.
if(NOT TARGET seqord_fuzz_targets)
  add_library(seqord_fuzz_targets STATIC
              ${CMAKE_CURRENT_LIST_DIR}/common.cpp
              ${CMAKE_CURRENT_LIST_DIR}/records_read.cpp
              ${CMAKE_CURRENT_LIST_DIR}/list_read.cpp
              ${CMAKE_CURRENT_LIST_DIR}/format_out.cpp
              ${CMAKE_CURRENT_LIST_DIR}/job.cpp
              ${CMAKE_CURRENT_LIST_DIR}/csv_read.cpp)
  target_include_directories(seqord_fuzz_targets PUBLIC ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(seqord_fuzz_targets PUBLIC seqord_main seqord_prep)
  # The readers of the result files, which seqord itself does not use.
  target_sources(seqord_fuzz_targets PRIVATE ${CMAKE_CURRENT_LIST_DIR}/results_read.cpp)
  target_link_libraries(seqord_fuzz_targets PUBLIC seqord_results)
endif()

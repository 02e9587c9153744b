# Fuzz targets (libFuzzer): every tests/fuzz/fuzz_*.cpp becomes a program of
# its own that links the engine. Configure with clang and -DQM_FUZZ=ON; the
# whole build then carries the fuzzer's coverage hooks and ASan+UBSan, and
# the target qm_fuzzers builds every fuzz program (scripts/fuzz.sh runs them).
file(GLOB QM_FUZZ_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/fuzz/fuzz_*.cpp)
add_custom_target(qm_fuzzers)
foreach(src ${QM_FUZZ_SOURCES})
  get_filename_component(name ${src} NAME_WE)
  add_executable(${name} ${src})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
  target_link_libraries(${name} PRIVATE qm_engine)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  add_dependencies(qm_fuzzers ${name})
endforeach()

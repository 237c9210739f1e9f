# replay_import: the fuzz_import corpus and regressions through the tool's
# mesh import on this build's own flags (included from the top level when
# the tool is built, outside the fuzz build): some readers fail only on an
# optimised build.
add_executable(replay_import
  ${PROJECT_SOURCE_DIR}/fuzz/replay_import.cpp
  ${PROJECT_SOURCE_DIR}/fuzz/import_input.cpp
  ${PROJECT_SOURCE_DIR}/fuzz/scratch_file.cpp)
target_include_directories(replay_import PRIVATE ${PROJECT_SOURCE_DIR}/fuzz)
target_compile_options(replay_import PRIVATE ${CRUMPLE_FLAGS} ${CRUMPLE_WARNINGS})
target_link_libraries(replay_import PRIVATE crumple_runner)

# Under AddressSanitizer a throwing new that cannot be met ends the process,
# where the optimised build throws std::bad_alloc and the import is refused;
# the fuzz build's new restores that, with a bound on what malloc will give.
set(replay_import_env "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/fuzz/lsan.supp")
if(CRUMPLE_SANITIZE)
  target_sources(replay_import PRIVATE ${PROJECT_SOURCE_DIR}/fuzz/throwing_new.cpp)
  list(APPEND replay_import_env
    "ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1:max_allocation_size_mb=2048:abort_on_error=1")
endif()

enable_testing()
add_test(NAME replay_import COMMAND replay_import
  ${PROJECT_SOURCE_DIR}/fuzz/corpus/fuzz_import ${PROJECT_SOURCE_DIR}/fuzz/regressions/fuzz_import)
set_tests_properties(replay_import PROPERTIES TIMEOUT 900
  ENVIRONMENT "${replay_import_env}")

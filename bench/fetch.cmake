tavlo_add_bench(bench_fetch
    SOURCES fetch_bench.cpp ${PROJECT_SOURCE_DIR}/tests/support/test_util.cpp
    LIBS tavlo_threadview)
target_include_directories(bench_fetch PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)

tavlo_add_bench(bench_kinds
    SOURCES kinds_bench.cpp ${PROJECT_SOURCE_DIR}/tests/support/test_util.cpp
    LIBS tavlo_bbs ZLIB::ZLIB)
target_include_directories(bench_kinds PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)

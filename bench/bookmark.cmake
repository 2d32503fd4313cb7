tavlo_add_bench(bench_bookmark
    SOURCES bookmark_bench.cpp ${PROJECT_SOURCE_DIR}/tests/support/boardsim.cpp
            ${PROJECT_SOURCE_DIR}/tests/support/test_util.cpp
    LIBS tavlo_bbs)
target_include_directories(bench_bookmark PRIVATE ${PROJECT_SOURCE_DIR}/tests/support
                           ${PROJECT_SOURCE_DIR}/tests/bbs)
target_compile_definitions(bench_bookmark PRIVATE TAVLO_SOURCE_DIR="${PROJECT_SOURCE_DIR}")

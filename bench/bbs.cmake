tavlo_add_bench(bench_bbs
    SOURCES bbs_bench.cpp ${PROJECT_SOURCE_DIR}/tests/support/boardsim.cpp
            ${PROJECT_SOURCE_DIR}/tests/support/test_util.cpp
    LIBS tavlo_bbs)
target_include_directories(bench_bbs PRIVATE ${PROJECT_SOURCE_DIR}/tests/support
                           ${PROJECT_SOURCE_DIR}/tests/bbs)
target_compile_definitions(bench_bbs PRIVATE TAVLO_SOURCE_DIR="${PROJECT_SOURCE_DIR}")

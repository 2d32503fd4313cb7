tavlo_add_bench(bench_bmview
    SOURCES bmview_bench.cpp ${PROJECT_SOURCE_DIR}/tests/support/boardsim.cpp
            ${PROJECT_SOURCE_DIR}/tests/support/test_util.cpp
    LIBS tavlo_ui)
target_include_directories(bench_bmview PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
target_compile_definitions(bench_bmview PRIVATE TAVLO_SOURCE_DIR="${PROJECT_SOURCE_DIR}")

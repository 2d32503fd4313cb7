tavlo_add_bench(bench_shell SOURCES shell_bench.cpp LIBS tavlo_ui)

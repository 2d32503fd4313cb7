tavlo_add_bench(bench_lists SOURCES lists_bench.cpp LIBS tavlo_lists)

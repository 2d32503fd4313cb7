tavlo_add_bench(bench_kcode SOURCES kcode_bench.cpp LIBS vornbase)

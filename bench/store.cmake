tavlo_add_bench(bench_store SOURCES store_bench.cpp LIBS tavlo_store)

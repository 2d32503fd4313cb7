tavlo_add_bench(bench_thread SOURCES thread_bench.cpp LIBS tavlo_thread vornbase)

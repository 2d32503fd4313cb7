tavlo_add_bench(bench_popup SOURCES popup_bench.cpp LIBS tavlo_threadview)

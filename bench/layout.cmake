tavlo_add_bench(bench_layout SOURCES layout_bench.cpp LIBS tavlo_ui)

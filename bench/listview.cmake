tavlo_add_bench(bench_listview SOURCES listview_bench.cpp LIBS tavlo_ui)

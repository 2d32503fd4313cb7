tavlo_add_bench(bench_http SOURCES http_bench.cpp LIBS vornnet)

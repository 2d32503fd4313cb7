tavlo_add_bench(bench_http_header SOURCES http_header_bench.cpp LIBS vornnet)

tavlo_add_bench(bench_image SOURCES image_bench.cpp LIBS tavlo_ui)

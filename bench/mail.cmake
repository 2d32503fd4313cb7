tavlo_add_bench(bench_mail SOURCES mail_bench.cpp LIBS vornnet)
find_package(Python3 REQUIRED COMPONENTS Interpreter)
target_compile_definitions(bench_mail PRIVATE
    VORN_PYTHON="${Python3_EXECUTABLE}"
    VORN_MAILSERVERS_SCRIPT="${PROJECT_SOURCE_DIR}/tools/mailservers/mailservers.py")

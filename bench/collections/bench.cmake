# The kit's containers. Included by bench/CMakeLists.txt.
kalvo_add_bench(kalvo-bench-collections SOURCES collections/collections_bench.cpp SMOKE_FILTER "/1000$")

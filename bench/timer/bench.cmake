# Deferred calls fed many requests. Included by bench/CMakeLists.txt.
kalvo_add_bench(kalvo-bench-timer SOURCES timer/calls_bench.cpp SMOKE_FILTER "/1000(/|$)")

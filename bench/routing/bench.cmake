# Event fan-out of the router centre's registry.
kalvo_add_bench(kalvo-bench-routing SOURCES routing/event_fanout_bench.cpp SMOKE_FILTER "/100$")

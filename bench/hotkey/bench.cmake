# Local shortcut dispatch against Qt's shortcut machinery. Included by
# bench/CMakeLists.txt.
kalvo_add_bench(kalvo-bench-hotkey SOURCES hotkey/dispatch_bench.cpp SMOKE_FILTER "/1000$")

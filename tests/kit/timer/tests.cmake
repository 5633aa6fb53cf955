# Timers, deferred calls, weak proxies and the task queue. Included by
# tests/CMakeLists.txt.
kalvo_add_test(kalvo_timer_tests
  SOURCES
    kit/timer/tn_timer_test.cpp
    kit/timer/tn_clock_test.cpp
    kit/timer/calls_test.cpp
    kit/timer/weak_proxy_test.cpp
    kit/timer/task_queue_test.cpp
  LABELS unit)

# The task queue crosses threads: run it under ThreadSanitizer too.
kalvo_add_tsan_test(kalvo_timer_tsan_tests
  SOURCES
    kit/timer/task_queue_test.cpp)

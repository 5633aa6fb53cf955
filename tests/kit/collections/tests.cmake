# The kit's containers. Included by tests/CMakeLists.txt.
kalvo_add_test(kalvo_collections_tests
  SOURCES
    kit/collections/priority_queue_test.cpp
    kit/collections/thread_safe_array_test.cpp
    kit/collections/thread_safe_array_threaded_test.cpp
    kit/collections/membership_array_test.cpp
  LABELS unit)

# The thread-safe array's threaded tests again, under ThreadSanitizer.
kalvo_add_tsan_test(kalvo_collections_tsan_tests
  SOURCES
    kit/collections/thread_safe_array_threaded_test.cpp)

# Routing, events, callbacks, monitors and script messages.
kalvo_add_test(kalvo_routing_tests
  SOURCES
    kit/routing/callback_impl_test.cpp
    kit/routing/event_monitoring_test.cpp
    kit/routing/event_registry_test.cpp
    kit/routing/router_center_test.cpp
    kit/routing/routing_threaded_test.cpp
    kit/routing/url_router_test.cpp
    kit/routing/web_js_dispatch_test.cpp
  LABELS unit)

# The mutex-guarded registries under ThreadSanitizer.
kalvo_add_tsan_test(kalvo_routing_tsan_tests
  SOURCES
    kit/routing/routing_threaded_test.cpp
    kit/routing/event_registry_test.cpp
    kit/routing/callback_impl_test.cpp)

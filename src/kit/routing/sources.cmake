# Routing, events and script messages of the application kit.
set(KALVO_ROUTING_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/callback_impl.cpp
  ${CMAKE_CURRENT_LIST_DIR}/event_monitoring_center.cpp
  ${CMAKE_CURRENT_LIST_DIR}/event_registry.cpp
  ${CMAKE_CURRENT_LIST_DIR}/logger.cpp
  ${CMAKE_CURRENT_LIST_DIR}/protocol.cpp
  ${CMAKE_CURRENT_LIST_DIR}/router_center.cpp
  ${CMAKE_CURRENT_LIST_DIR}/url_router.cpp
  ${CMAKE_CURRENT_LIST_DIR}/web_js_dispatch_manager.cpp
)

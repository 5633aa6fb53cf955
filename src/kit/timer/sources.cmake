# Timers, deferred calls, weak proxies and the task queue.
set(KALVO_TIMER_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/async_task_queue.cpp
  ${CMAKE_CURRENT_LIST_DIR}/attachments.cpp
  ${CMAKE_CURRENT_LIST_DIR}/attachments_p.h
  ${CMAKE_CURRENT_LIST_DIR}/calls.cpp
  ${CMAKE_CURRENT_LIST_DIR}/repeating_timer_p.h
  ${CMAKE_CURRENT_LIST_DIR}/tn_clock.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tn_timer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/weak_proxy.cpp
)

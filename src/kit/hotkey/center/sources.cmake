# The hotkey center, the shortcut managers, configuration, validator and
# menu binding. Included by src/CMakeLists.txt.
set(KALVO_HOTKEY_CENTER_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/event_hotkey_mgr.cpp
  ${CMAKE_CURRENT_LIST_DIR}/hotkey_center.cpp
  ${CMAKE_CURRENT_LIST_DIR}/hotkey_configuration.cpp
  ${CMAKE_CURRENT_LIST_DIR}/hotkey_menu_center.cpp
  ${CMAKE_CURRENT_LIST_DIR}/hotkey_validator.cpp
)

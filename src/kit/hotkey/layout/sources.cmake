# The keyboard-layout manager (layouts through the Linux keyboard services).
set(KALVO_HOTKEY_LAYOUT_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/keyboard_layout_mgr.cpp
)

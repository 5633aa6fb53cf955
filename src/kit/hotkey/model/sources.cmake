# Hotkey model: combinations, shortcuts, stored names and value transformers.
set(KALVO_HOTKEY_MODEL_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/hotkey_combo.cpp
  ${CMAKE_CURRENT_LIST_DIR}/hotkey.cpp
  ${CMAKE_CURRENT_LIST_DIR}/hotkey_names.cpp
  ${CMAKE_CURRENT_LIST_DIR}/key_translator.cpp
  ${CMAKE_CURRENT_LIST_DIR}/transformers.cpp
  ${CMAKE_CURRENT_LIST_DIR}/value_reading_p.h
)

# Hotkey model: combinations, shortcuts, stored names and transformers.
# Included by tests/CMakeLists.txt.
kalvo_add_test(kalvo_hotkey_model_tests
  SOURCES
    kit/hotkey/model/hotkey_combo_test.cpp
    kit/hotkey/model/hotkey_text_test.cpp
    kit/hotkey/model/hotkey_test.cpp
  LABELS unit)

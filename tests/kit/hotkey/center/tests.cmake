# The hotkey center, its managers and store bindings (unit), and global
# shortcuts on a private X server (x11). Included by tests/CMakeLists.txt.
find_package(PkgConfig REQUIRED)
pkg_check_modules(KALVO_XTEST_CLIENT REQUIRED IMPORTED_TARGET xtst x11)

kalvo_add_test(kalvo_hotkey_center_tests
  SOURCES
    kit/hotkey/center/center_test_support.h
    kit/hotkey/center/event_hotkey_mgr_test.cpp
    kit/hotkey/center/hotkey_center_test.cpp
    kit/hotkey/center/hotkey_configuration_test.cpp
  LABELS unit)

# Starts its own Xvfb; skips when it is not installed.
kalvo_add_test(kalvo_hotkey_x11_tests
  SOURCES
    kit/hotkey/center/center_test_support.h
    kit/hotkey/center/x11_center_test.cpp
    kit/hotkey/center/x11_key_grabber_test.cpp
    kit/hotkey/center/x11_test_support.cpp
    kit/hotkey/center/x11_test_support.h
  LABELS x11)
target_link_libraries(kalvo_hotkey_x11_tests PRIVATE PkgConfig::KALVO_XTEST_CLIENT)

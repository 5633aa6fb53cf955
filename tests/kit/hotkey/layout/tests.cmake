# Layout translations from the installed XKB data; no X server needed.
kalvo_add_test(kalvo_hotkey_layout_tests
  SOURCES
    kit/hotkey/layout/keyboard_layout_mgr_test.cpp
  LABELS unit)

# Starts its own Xvfb and changes the layout with setxkbmap; locks a layout
# group through xcb itself.
find_package(PkgConfig REQUIRED)
pkg_check_modules(KALVO_XKB_TEST_XCB REQUIRED IMPORTED_TARGET xcb xcb-xkb)
kalvo_add_test(kalvo_hotkey_layout_x11_tests
  SOURCES
    kit/hotkey/layout/keyboard_layout_x11_test.cpp
  LABELS x11)
target_link_libraries(kalvo_hotkey_layout_x11_tests PRIVATE PkgConfig::KALVO_XKB_TEST_XCB)

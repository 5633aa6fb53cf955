# Keyboard layouts through xkbcommon and the X server's XKB extension (xcb).
find_package(PkgConfig REQUIRED)
pkg_check_modules(KALVO_XKB REQUIRED IMPORTED_TARGET xkbcommon xkbcommon-x11 xcb xcb-xkb)

set(KALVO_KEYBOARD_PLATFORM_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/xkb_keyboard_p.h
  ${CMAKE_CURRENT_LIST_DIR}/xkb_layouts.cpp
  ${CMAKE_CURRENT_LIST_DIR}/x11_keyboard.cpp
)
set(KALVO_KEYBOARD_PLATFORM_LIBS PkgConfig::KALVO_XKB)

# Global shortcuts through X11 key grabs (xcb). Included by src/CMakeLists.txt.
find_package(PkgConfig REQUIRED)
pkg_check_modules(KALVO_XCB_HOTKEYS REQUIRED IMPORTED_TARGET xcb xcb-keysyms xcb-xkb)

set(KALVO_HOTKEY_PLATFORM_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/global_key_grabber.cpp
  ${CMAKE_CURRENT_LIST_DIR}/global_key_grabber.h
  ${CMAKE_CURRENT_LIST_DIR}/x11_key_grabber.cpp
)
set(KALVO_HOTKEY_PLATFORM_LIBS PkgConfig::KALVO_XCB_HOTKEYS)

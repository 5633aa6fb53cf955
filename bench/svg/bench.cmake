# kalvo-svg-compare: our SVG engine against QtSvg and librsvg on folders of
# real icons. Built only where librsvg's development files are installed.
find_package(PkgConfig QUIET)
if(PkgConfig_FOUND)
  pkg_check_modules(KALVO_RSVG QUIET IMPORTED_TARGET librsvg-2.0)
endif()
find_package(Qt6 QUIET COMPONENTS Svg)
if(KALVO_RSVG_FOUND AND Qt6Svg_FOUND)
  add_executable(kalvo-svg-compare ${CMAKE_CURRENT_LIST_DIR}/svg_compare.cpp)
  target_link_libraries(kalvo-svg-compare PRIVATE Kalvo::kalvo Qt6::Svg PkgConfig::KALVO_RSVG kalvo_build_flags)
else()
  message(STATUS "kalvo-svg-compare: librsvg or QtSvg not found; not built")
endif()

# The SVG icon registry (KTNSVGMgr).
set(KALVO_SVG_REGISTRY_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/svg_file_parser.cpp
  ${CMAKE_CURRENT_LIST_DIR}/svg_mgr.cpp
  ${CMAKE_CURRENT_LIST_DIR}/svg_variants.cpp
)

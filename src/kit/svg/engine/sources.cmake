# The SVG parser and renderer. Included by src/CMakeLists.txt. Images are
# rasterised with cairo.
find_package(PkgConfig REQUIRED)
pkg_check_modules(KALVO_CAIRO REQUIRED IMPORTED_TARGET cairo)

set(KALVO_SVG_ENGINE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/svg_arc_p.h
  ${CMAKE_CURRENT_LIST_DIR}/svg_base_element.cpp
  ${CMAKE_CURRENT_LIST_DIR}/svg_bezier_path.cpp
  ${CMAKE_CURRENT_LIST_DIR}/svg_drawing.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../xml_text_p.h
  ${CMAKE_CURRENT_LIST_DIR}/svg_lib_helper.cpp
  ${CMAKE_CURRENT_LIST_DIR}/svg_parser_mgr.cpp
  ${CMAKE_CURRENT_LIST_DIR}/svg_path_data.cpp
  ${CMAKE_CURRENT_LIST_DIR}/svg_prepare.cpp
  ${CMAKE_CURRENT_LIST_DIR}/svg_prepare_p.h
  ${CMAKE_CURRENT_LIST_DIR}/svg_scanner.cpp
  ${CMAKE_CURRENT_LIST_DIR}/svg_scanline.cpp
  ${CMAKE_CURRENT_LIST_DIR}/svg_scanline_p.h
  ${CMAKE_CURRENT_LIST_DIR}/svg_scanner_p.h
  ${CMAKE_CURRENT_LIST_DIR}/svg_shapes.cpp
  ${CMAKE_CURRENT_LIST_DIR}/svg_transform.cpp
  ${CMAKE_CURRENT_LIST_DIR}/svg_xml_fast.cpp
)
set(KALVO_SVG_ENGINE_LIBS PkgConfig::KALVO_CAIRO)
# Outlines and the stroker take their points by value, two doubles in two
# registers; paired up for vector instructions by GCC they went through the
# stack, stored in halves and loaded whole, which stalls (the processor
# cannot forward such stores). The rasteriser's vector code is written out.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  set_source_files_properties(
    ${CMAKE_CURRENT_LIST_DIR}/svg_bezier_path.cpp
    ${CMAKE_CURRENT_LIST_DIR}/svg_scanline.cpp
    DIRECTORY ${PROJECT_SOURCE_DIR}/src
    PROPERTIES COMPILE_OPTIONS "-fno-tree-slp-vectorize")
endif()

# The SVG engine's tests. Included by tests/CMakeLists.txt.
kalvo_add_test(kalvo_svg_tests
  SOURCES
    kit/svg/svg_test_util.h
    kit/svg/path_data_test.cpp
    kit/svg/painter_path_test.cpp
    kit/svg/path_scan_test.cpp
    kit/svg/transform_test.cpp
    kit/svg/attributes_test.cpp
    kit/svg/document_test.cpp
    kit/svg/render_test.cpp
    kit/svg/bad_input_test.cpp
    kit/svg/style_test.cpp
    kit/svg/structure_test.cpp
    kit/svg/paint_server_test.cpp
    kit/svg/path_grammar_test.cpp
    kit/svg/rasterizer_test.cpp
    kit/svg/scanline_test.cpp
    kit/svg/scaled_drawing_test.cpp
    kit/svg/xml_reader_test.cpp
    kit/svg/prepared_values_test.cpp
    kit/svg/twelve_digits_test.cpp
    kit/svg/named_color_table_test.cpp
  LABELS unit)
target_compile_definitions(kalvo_svg_tests PRIVATE
  KALVO_SVG_CONFORMANCE_DIR="${CMAKE_CURRENT_SOURCE_DIR}/data/svg-conformance")

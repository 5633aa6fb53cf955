# The SVG engine's tests. Included by tests/CMakeLists.txt.
kalvo_add_test(kalvo_svg_tests
  SOURCES
    kit/svg/svg_test_util.h
    kit/svg/path_data_test.cpp
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
  LABELS unit)

# Reference rendering cases of the SVG engine: every case of
# tests/data/svg-conformance rendered and compared with its reference
# image; the cases in conformance_pass.txt must keep passing.
kalvo_add_test(kalvo_svg_conformance_tests
  SOURCES
    kit/svg/conformance_test.cpp
  LABELS unit)
target_compile_definitions(kalvo_svg_conformance_tests PRIVATE
  KALVO_SVG_CONFORMANCE_DIR="${CMAKE_CURRENT_SOURCE_DIR}/data/svg-conformance"
  KALVO_SVG_CONFORMANCE_PASS_LIST="${CMAKE_CURRENT_SOURCE_DIR}/kit/svg/conformance_pass.txt")

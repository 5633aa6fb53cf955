# Images, the asset store and the SVG icon registry. The test icons are
# compiled in from theme/assets/data/asset_tests.qrc.
kalvo_add_test(kalvo_asset_tests
  SOURCES
    theme/assets/asset_test_support.h
    theme/assets/asset_store_test.cpp
    theme/assets/glyphs_test.cpp
    theme/assets/image_test.cpp
    theme/assets/kalvo_image_test.cpp
    theme/assets/data/asset_tests.qrc
    kit/svg_registry/svg_parser_test.cpp
    kit/svg_registry/svg_registry_test.cpp
    kit/svg_registry/svg_variants_test.cpp
  LABELS unit)

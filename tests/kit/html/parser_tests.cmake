# The snippet parser, the string additions and the StyledText run storage.
# Included by tests/kit/html/tests.cmake.
kalvo_add_test(kalvo_html_parser_tests
  SOURCES
    kit/html/parser_tokenizer_test.cpp
    kit/html/parser_styles_test.cpp
    kit/html/parser_links_test.cpp
    kit/html/parser_builders_test.cpp
    kit/html/parser_styledtext_test.cpp
    kit/html/parser_badinput_test.cpp
    kit/html/parser_utf16_test.cpp
  LABELS unit)
# The fuzz target's seeds double as inputs of the tests.
target_compile_definitions(kalvo_html_parser_tests PRIVATE
  KALVO_HTML_SEEDS_DIR="${PROJECT_SOURCE_DIR}/fuzz/corpus/html")

# The snippet parser, the string additions and the run storage of
# StyledText. Included by src/kit/html/sources.cmake.
set(KALVO_HTML_PARSER_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/styledtext.cpp
  ${CMAKE_CURRENT_LIST_DIR}/html_snippet.cpp
  ${CMAKE_CURRENT_LIST_DIR}/html_snippet_p.h
  ${CMAKE_CURRENT_LIST_DIR}/html_snippet_resources.cpp
  ${CMAKE_CURRENT_LIST_DIR}/html_snippet_runs.cpp
  ${CMAKE_CURRENT_LIST_DIR}/html_snippet_runs.h
  ${CMAKE_CURRENT_LIST_DIR}/html_snippet_strings.cpp
  ${CMAKE_CURRENT_LIST_DIR}/html_snippet_tokenizer.cpp
)

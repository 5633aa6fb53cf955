# HTML snippets and styled text: the parser and the display/import halves
# keep their own lists.
include(${CMAKE_CURRENT_LIST_DIR}/parser_sources.cmake OPTIONAL)  # KALVO_HTML_PARSER_SOURCES
include(${CMAKE_CURRENT_LIST_DIR}/display_sources.cmake OPTIONAL) # KALVO_HTML_DISPLAY_SOURCES
set(KALVO_HTML_SOURCES ${KALVO_HTML_PARSER_SOURCES} ${KALVO_HTML_DISPLAY_SOURCES})

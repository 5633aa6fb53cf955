# Attachments, StyledText -> QTextDocument, the StyledLabel widget and the
# HTML import path. Included by src/kit/html/sources.cmake.
set(KALVO_HTML_DISPLAY_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/html_import.cpp
  ${CMAKE_CURRENT_LIST_DIR}/styled_label.cpp
  ${CMAKE_CURRENT_LIST_DIR}/styledtext_document.cpp
  ${CMAKE_CURRENT_LIST_DIR}/styledtext_document_p.h
)

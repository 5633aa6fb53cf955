# Styled text display: the document conversion and attachments, StyledLabel,
# and the HTML import path.
kalvo_add_test(kalvo_html_display_tests
  SOURCES
    kit/html/display_document_test.cpp
    kit/html/display_label_test.cpp
    kit/html/display_import_test.cpp
  LABELS unit)

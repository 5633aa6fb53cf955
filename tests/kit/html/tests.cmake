include(${CMAKE_CURRENT_LIST_DIR}/parser_tests.cmake OPTIONAL)
include(${CMAKE_CURRENT_LIST_DIR}/display_tests.cmake OPTIONAL)

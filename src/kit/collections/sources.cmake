# The kit's containers. Most of their code is templates in
# include/kalvo/collections/; these are the shared, non-template parts.
# Included by src/CMakeLists.txt.
set(KALVO_COLLECTIONS_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/collection_support.cpp
)

# Images, the light/dark image family, the drawn icons and the asset store.
set(KALVO_ASSET_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/asset_store.cpp
  ${CMAKE_CURRENT_LIST_DIR}/icon_manager.cpp
  ${CMAKE_CURRENT_LIST_DIR}/image.cpp
  ${CMAKE_CURRENT_LIST_DIR}/image_glyphs.cpp
  ${CMAKE_CURRENT_LIST_DIR}/image_p.h
  ${CMAKE_CURRENT_LIST_DIR}/image_registry.cpp
  ${CMAKE_CURRENT_LIST_DIR}/image_utilities.cpp
  ${CMAKE_CURRENT_LIST_DIR}/kalvo_image.cpp
  ${CMAKE_CURRENT_LIST_DIR}/theme_image.cpp
)

# The embedded image store: the record, blob lookup, extraction and the checks of extracted
# images. Plain C++, so the window, the console front end and the tests share it.
add_library(aurex_app_store STATIC
  embedded_blobs.cpp
  image_check.cpp
  image_store.cpp
  resource_attributes.cpp
  working_folder.cpp
)
target_include_directories(aurex_app_store PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(aurex_app_store PUBLIC aurex_text)
aurex_warnings(aurex_app_store)
set_target_properties(aurex_app_store PROPERTIES AUTOMOC OFF)

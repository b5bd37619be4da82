# The skin archive, its decoding, the resource settings and the shared rule
# for reading one skin file.
target_sources(parlomind_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/archive_stream.cpp
  ${CMAKE_CURRENT_LIST_DIR}/skin_archive.cpp
  ${CMAKE_CURRENT_LIST_DIR}/archive_resource.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ui_manager_resources.cpp
  ${CMAKE_CURRENT_LIST_DIR}/skin_file.cpp)

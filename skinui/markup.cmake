# The markup reader.
target_sources(parlomind_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/xml_markup.cpp
  ${CMAKE_CURRENT_LIST_DIR}/xml_parse.cpp
  ${CMAKE_CURRENT_LIST_DIR}/xml_element.cpp)

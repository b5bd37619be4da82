# Imported targets for the dependencies that scripts/deps builds from Debian's
# source packages into PARLOMIND_DEPS_PREFIX.
if(NOT PARLOMIND_DEPS_PREFIX OR NOT EXISTS "${PARLOMIND_DEPS_PREFIX}/.complete")
  message(FATAL_ERROR "PARLOMIND_DEPS_PREFIX must name a prefix made by scripts/deps (got '${PARLOMIND_DEPS_PREFIX}')")
endif()
set(_deps ${PARLOMIND_DEPS_PREFIX})

add_library(deps::zlib STATIC IMPORTED)
set_target_properties(deps::zlib PROPERTIES IMPORTED_LOCATION /usr/i686-w64-mingw32/lib/libz.a)

add_library(deps::curl STATIC IMPORTED)
set_target_properties(deps::curl PROPERTIES
  IMPORTED_LOCATION ${_deps}/lib/libcurl.a
  INTERFACE_INCLUDE_DIRECTORIES ${_deps}/include
  INTERFACE_COMPILE_DEFINITIONS CURL_STATICLIB
  INTERFACE_LINK_LIBRARIES "deps::zlib;ws2_32;crypt32;bcrypt;advapi32;winmm")

add_library(deps::jsoncpp STATIC IMPORTED)
set_target_properties(deps::jsoncpp PROPERTIES
  IMPORTED_LOCATION ${_deps}/lib/libjsoncpp.a
  INTERFACE_INCLUDE_DIRECTORIES ${_deps}/include)

add_library(deps::lzmasdk STATIC IMPORTED)
set_target_properties(deps::lzmasdk PROPERTIES
  IMPORTED_LOCATION ${_deps}/lib/liblzmasdk.a
  INTERFACE_INCLUDE_DIRECTORIES ${_deps}/include/lzma)

# stb_image comes as a header from Debian's libstb-dev.
add_library(deps::stb INTERFACE IMPORTED)
set_target_properties(deps::stb PROPERTIES INTERFACE_INCLUDE_DIRECTORIES /usr/include/stb)

add_library(deps::gtest STATIC IMPORTED)
set_target_properties(deps::gtest PROPERTIES
  IMPORTED_LOCATION ${_deps}/lib/libgtest.a
  INTERFACE_INCLUDE_DIRECTORIES ${_deps}/include)
add_library(deps::gmock STATIC IMPORTED)
set_target_properties(deps::gmock PROPERTIES
  IMPORTED_LOCATION ${_deps}/lib/libgmock.a
  INTERFACE_LINK_LIBRARIES deps::gtest)
add_library(deps::gtest_main STATIC IMPORTED)
set_target_properties(deps::gtest_main PROPERTIES
  IMPORTED_LOCATION ${_deps}/lib/libgtest_main.a
  INTERFACE_LINK_LIBRARIES deps::gmock)

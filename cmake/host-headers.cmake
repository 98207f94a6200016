# Header-only libraries of the build machine serve a cross build as they are. Only their own
# folders go on the include path, through links in the build tree: the build machine's whole
# include folder would hand the target compiler the build machine's system headers.
set(KVB_HOST_INCLUDE_DIR /usr/include CACHE PATH "Where the build machine keeps CLI11, nlohmann, stb and xxHash")
set(kvb_host_headers ${PROJECT_BINARY_DIR}/host-headers)
file(MAKE_DIRECTORY ${kvb_host_headers})
foreach(dir CLI nlohmann stb)
  if(NOT EXISTS ${KVB_HOST_INCLUDE_DIR}/${dir})
    message(FATAL_ERROR "${KVB_HOST_INCLUDE_DIR}/${dir} is missing (scripts/install-deps installs it)")
  endif()
  file(CREATE_LINK ${KVB_HOST_INCLUDE_DIR}/${dir} ${kvb_host_headers}/${dir} SYMBOLIC)
endforeach()
# xxHash is two headers of its own rather than a folder; it is used header-only (XXH_INLINE_ALL).
foreach(header xxhash.h xxh3.h)
  if(NOT EXISTS ${KVB_HOST_INCLUDE_DIR}/${header})
    message(FATAL_ERROR "${KVB_HOST_INCLUDE_DIR}/${header} is missing (scripts/install-deps installs libxxhash-dev)")
  endif()
  file(CREATE_LINK ${KVB_HOST_INCLUDE_DIR}/${header} ${kvb_host_headers}/${header} SYMBOLIC)
endforeach()
include_directories(SYSTEM ${kvb_host_headers})
add_library(CLI11::CLI11 INTERFACE IMPORTED)
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)

set(KVB_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest's sources, built for the target")

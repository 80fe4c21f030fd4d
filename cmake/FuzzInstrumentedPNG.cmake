# The fuzz build's libpng: Debian's own source (fetched by scripts/fetch-fuzz-sources) compiled with the
# fuzzer's coverage instrumentation and AddressSanitizer, so the PNG target's inputs are steered by what
# they reach inside the decoder instead of by our thin wrapper alone. PNG::PNG is pointed at it for this
# build only. Without the source, or without a C compiler beside clang++, the system libpng stays.
set(TALVAREN_FUZZ_SOURCES "${PROJECT_SOURCE_DIR}/build/fuzz-sources" CACHE PATH
  "Where scripts/fetch-fuzz-sources put the library sources the fuzz build instruments")
set(_png_source "${TALVAREN_FUZZ_SOURCES}/libpng1.6")
string(REGEX REPLACE "clang\\+\\+([^/]*)$" "clang\\1" _fuzz_cc "${CMAKE_CXX_COMPILER}")
if(NOT EXISTS "${_png_source}/CMakeLists.txt")
  message(STATUS "Fuzz build: no libpng source in ${TALVAREN_FUZZ_SOURCES} (scripts/fetch-fuzz-sources "
    "fetches it); the PNG target links the system libpng, whose code the fuzzer cannot see.")
  return()
endif()
if(_fuzz_cc STREQUAL CMAKE_CXX_COMPILER OR NOT EXISTS "${_fuzz_cc}")
  message(WARNING "Fuzz build: no clang C compiler beside ${CMAKE_CXX_COMPILER}; the PNG target links the "
    "system libpng, whose code the fuzzer cannot see.")
  return()
endif()
set(_png_fetched "${_png_source}")
if(EXISTS "${_png_source}/.fetched")
  file(READ "${_png_source}/.fetched" _png_fetched)
  string(STRIP "${_png_fetched}" _png_fetched)
endif()
message(STATUS "Fuzz build: libpng instrumented from ${_png_fetched}")

include(ExternalProject)
set(_png_prefix "${CMAKE_BINARY_DIR}/instrumented")
set(_png_library "${_png_prefix}/lib/${CMAKE_STATIC_LIBRARY_PREFIX}png16${CMAKE_STATIC_LIBRARY_SUFFIX}")
ExternalProject_Add(talvaren_instrumented_libpng
  SOURCE_DIR "${_png_source}"
  INSTALL_DIR "${_png_prefix}"
  CMAKE_ARGS
    "-DCMAKE_C_COMPILER=${_fuzz_cc}"
    -DCMAKE_BUILD_TYPE=RelWithDebInfo
    "-DCMAKE_C_FLAGS=-fsanitize=fuzzer-no-link,address -fno-omit-frame-pointer"
    -DCMAKE_INSTALL_PREFIX=<INSTALL_DIR>
    -DCMAKE_INSTALL_LIBDIR=lib
    -DCMAKE_POSITION_INDEPENDENT_CODE=ON
    -DPNG_SHARED=OFF
    -DPNG_STATIC=ON
    -DPNG_TESTS=OFF
    -DPNG_EXECUTABLES=OFF
  BUILD_BYPRODUCTS "${_png_library}"
  LOG_CONFIGURE ON LOG_BUILD ON LOG_INSTALL ON LOG_OUTPUT_ON_FAILURE ON)
file(MAKE_DIRECTORY "${_png_prefix}/include")
set_target_properties(PNG::PNG PROPERTIES
  IMPORTED_LOCATION "${_png_library}"
  IMPORTED_LOCATION_RELEASE "${_png_library}"
  IMPORTED_LOCATION_DEBUG "${_png_library}"
  INTERFACE_INCLUDE_DIRECTORIES "${_png_prefix}/include"
  INTERFACE_COMPILE_DEFINITIONS ""
  INTERFACE_LINK_LIBRARIES "ZLIB::ZLIB;m")
# Every area of the library compiles against the instrumented headers.
foreach(_target talvaren ${TALVAREN_AREA_TARGETS})
  add_dependencies(${_target} talvaren_instrumented_libpng)
endforeach()

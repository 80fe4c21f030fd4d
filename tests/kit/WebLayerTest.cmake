# The include rules of the real table (src/layers.txt), checked by the build's own check on small trees
# made for each case: the HTTP engine and the web view are out of reach of every area above `ui` but the
# sign-in road (oauth, the importers), and `ui` itself uses nothing but `platform`.
#
#   cmake -DROOT=<source tree> -DSCRATCH=<folder of its own> -P tests/kit/WebLayerTest.cmake
cmake_minimum_required(VERSION 3.25)

# A tree with the real table and the headers the cases include (empty), where `source` (a file of src/)
# includes `header`; the check of `area` must pass (`expected` ACCEPTED) or name the breach (REFUSED).
function(expect expected area source header)
  set(tree "${SCRATCH}/tree")
  file(REMOVE_RECURSE "${tree}")
  file(COPY "${ROOT}/src/layers.txt" DESTINATION "${tree}/src")
  foreach(present IN ITEMS platform/http/SessionManager.hpp platform/web/WebView.hpp platform/ui/View.hpp
      platform/Error.hpp)
    file(WRITE "${tree}/include/talvaren/${present}" "#pragma once\n")
  endforeach()
  file(WRITE "${tree}/src/${source}" "// ${source}\n#include \"talvaren/${header}\"\n")
  execute_process(COMMAND "${CMAKE_COMMAND}" -DROOT=${tree} -DAREA=${area} -DQUIET=ON
      -P "${ROOT}/cmake/CheckLayers.cmake"
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(expected STREQUAL "ACCEPTED" AND NOT status EQUAL 0)
    message(SEND_ERROR "src/${source} including ${header} was refused:\n${out}")
  elseif(expected STREQUAL "REFUSED" AND (status EQUAL 0 OR NOT out MATCHES "src/${source}:2: ${area} may not use"))
    message(SEND_ERROR "src/${source} including ${header} was not refused (status ${status}):\n${out}")
  endif()
endfunction()

expect(REFUSED bluetooth bluetooth/Planted.cpp platform/http/SessionManager.hpp)
expect(REFUSED bluetooth bluetooth/Planted.cpp platform/web/WebView.hpp)
expect(REFUSED ui platform/ui/Planted.cpp platform/http/SessionManager.hpp)
expect(REFUSED api api/Planted.cpp platform/web/WebView.hpp)
expect(ACCEPTED bluetooth bluetooth/Planted.cpp platform/ui/View.hpp)
expect(ACCEPTED ui platform/ui/Planted.cpp platform/Error.hpp)
expect(ACCEPTED oauth platform/oauth/Planted.cpp platform/web/WebView.hpp)
expect(ACCEPTED importers importers/Planted.cpp platform/web/WebView.hpp)
expect(ACCEPTED web platform/web/Planted.cpp platform/http/SessionManager.hpp)
file(REMOVE_RECURSE "${SCRATCH}/tree")

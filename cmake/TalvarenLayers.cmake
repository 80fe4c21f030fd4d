# The library's areas from src/layers.txt (see there for the format and the rules).
#
#   talvaren_read_layers()           reads the table: TALVAREN_LAYER_AREAS (lowest first) and, per area,
#                                    TALVAREN_LAYER_<area>_FOLDER, _PUBLIC, _USES and _VISIBLE (the areas
#                                    it may use, with what those may use in turn); TALVAREN_LAYER_WITHIN
#                                    holds the "within" lines, each as "<area>|<lower patterns>|<higher
#                                    patterns>" (patterns separated by blanks)
#   talvaren_layer_tree(<area> <var>) builds the area's include tree and sets <var> to its two include
#                                    folders (public and private headers)
#   talvaren_layer_check(<area>)     adds the target talvaren_<area>_layers, which checks the include
#                                    rules over the area's own files (cmake/CheckLayers.cmake)
#
# An area's tree holds, as symbolic links, the public and private header folders of the area itself and
# of the areas it may use, and nothing else, so that an include of any other area's header does not
# compile. A folder that holds another area's folder (platform holds platform/http, ...) is linked file
# by file, so that the inner area stays out unless it is allowed too.
#
# The reader also serves cmake/CheckLayers.cmake in script mode, with PROJECT_SOURCE_DIR set to the root.

function(talvaren_read_layers)
  set(table "${PROJECT_SOURCE_DIR}/src/layers.txt")
  if(NOT CMAKE_SCRIPT_MODE_FILE)
    set_property(DIRECTORY "${PROJECT_SOURCE_DIR}" APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${table}")
  endif()
  file(STRINGS "${table}" lines)
  set(areas)
  set(within)
  foreach(line IN LISTS lines)
    if(line MATCHES "^[ \t]*(#|$)")
      continue()
    endif()
    if(line MATCHES "^within[ \t]+([a-z]+)[ \t]*:([^<]*)<(.*)$")
      string(STRIP "${CMAKE_MATCH_2}" lower)
      string(STRIP "${CMAKE_MATCH_3}" higher)
      list(APPEND within "${CMAKE_MATCH_1}|${lower}|${higher}")
      continue()
    elseif(line MATCHES "^within[ \t]")
      message(FATAL_ERROR "src/layers.txt: cannot read \"${line}\"")
    endif()
    if(NOT line MATCHES "^([a-z]+)[ \t]+([^:]+):(.*)$")
      message(FATAL_ERROR "src/layers.txt: cannot read \"${line}\"")
    endif()
    set(area "${CMAKE_MATCH_1}")
    separate_arguments(folders UNIX_COMMAND "${CMAKE_MATCH_2}")
    separate_arguments(uses UNIX_COMMAND "${CMAKE_MATCH_3}")
    list(GET folders 0 folder)
    set(public "${folder}")
    list(LENGTH folders count)
    if(count GREATER 1)
      list(GET folders 1 public)
    endif()
    set(visible)
    foreach(used IN LISTS uses)
      if(NOT used IN_LIST areas)
        message(FATAL_ERROR "src/layers.txt: ${area} uses ${used}, which is not an area listed above it")
      endif()
      list(APPEND visible ${used} ${TALVAREN_LAYER_${used}_VISIBLE})
    endforeach()
    list(REMOVE_DUPLICATES visible)
    list(APPEND areas "${area}")
    foreach(name IN ITEMS folder public uses visible)
      string(TOUPPER "${name}" upper)
      set(TALVAREN_LAYER_${area}_${upper} "${${name}}" PARENT_SCOPE)
      set(TALVAREN_LAYER_${area}_${upper} "${${name}}")
    endforeach()
  endforeach()
  set(TALVAREN_LAYER_AREAS "${areas}" PARENT_SCOPE)
  set(TALVAREN_LAYER_WITHIN "${within}" PARENT_SCOPE)

  # Every source belongs to exactly one area: the one whose folder holds it directly.
  set(configure_depends CONFIGURE_DEPENDS)
  if(CMAKE_SCRIPT_MODE_FILE)
    set(configure_depends)
  endif()
  file(GLOB_RECURSE sources ${configure_depends} RELATIVE "${PROJECT_SOURCE_DIR}/src" "${PROJECT_SOURCE_DIR}/src/*.cpp"
    "${PROJECT_SOURCE_DIR}/src/*.hpp")
  set(folders)
  foreach(area IN LISTS areas)
    list(APPEND folders "${TALVAREN_LAYER_${area}_FOLDER}")
  endforeach()
  foreach(source IN LISTS sources)
    get_filename_component(folder "${source}" DIRECTORY)
    if(NOT folder IN_LIST folders)
      message(FATAL_ERROR "src/${source} belongs to no area: add its folder to src/layers.txt")
    endif()
  endforeach()
endfunction()

# Links `root/folder` into `tree/folder`: the whole folder, or, when an area lives in a folder inside it,
# each of its files.
function(_talvaren_link_folder root folder tree)
  if(NOT IS_DIRECTORY "${root}/${folder}")
    return()
  endif()
  set(nested FALSE)
  foreach(area IN LISTS TALVAREN_LAYER_AREAS)
    foreach(other IN ITEMS "${TALVAREN_LAYER_${area}_FOLDER}" "${TALVAREN_LAYER_${area}_PUBLIC}")
      string(FIND "${other}" "${folder}/" at)
      if(at EQUAL 0)
        set(nested TRUE)
      endif()
    endforeach()
  endforeach()
  get_filename_component(parent "${tree}/${folder}" DIRECTORY)
  file(MAKE_DIRECTORY "${parent}")
  if(NOT nested)
    file(CREATE_LINK "${root}/${folder}" "${tree}/${folder}" SYMBOLIC)
    return()
  endif()
  file(MAKE_DIRECTORY "${tree}/${folder}")
  file(GLOB files CONFIGURE_DEPENDS LIST_DIRECTORIES false "${root}/${folder}/*.hpp" "${root}/${folder}/*.h")
  foreach(file IN LISTS files)
    get_filename_component(name "${file}" NAME)
    file(CREATE_LINK "${file}" "${tree}/${folder}/${name}" SYMBOLIC)
  endforeach()
endfunction()

function(talvaren_layer_tree area var)
  set(tree "${PROJECT_BINARY_DIR}/layers/${area}")
  file(REMOVE_RECURSE "${tree}")
  foreach(visible IN ITEMS ${area} ${TALVAREN_LAYER_${area}_VISIBLE})
    _talvaren_link_folder("${PROJECT_SOURCE_DIR}/src" "${TALVAREN_LAYER_${visible}_FOLDER}" "${tree}/src")
    _talvaren_link_folder("${PROJECT_SOURCE_DIR}/include/talvaren" "${TALVAREN_LAYER_${visible}_PUBLIC}"
      "${tree}/include/talvaren")
  endforeach()
  file(MAKE_DIRECTORY "${tree}/include" "${tree}/src")
  set(${var} "${tree}/include" "${tree}/src" PARENT_SCOPE)
endfunction()

# The check of the area's own files (sources and private headers in src/<folder>/, public headers in
# include/talvaren/<public>/). It runs again when one of them changes, when the table or the check
# changes, and when a header of an area it may use changes (a private header may gain or lose the mark
# of an internal interface or a test seam).
function(talvaren_layer_check area)
  set(watched)
  foreach(visible IN ITEMS ${area} ${TALVAREN_LAYER_${area}_VISIBLE})
    file(GLOB files CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/src/${TALVAREN_LAYER_${visible}_FOLDER}/*.hpp"
      "${PROJECT_SOURCE_DIR}/include/talvaren/${TALVAREN_LAYER_${visible}_PUBLIC}/*.hpp")
    list(APPEND watched ${files})
  endforeach()
  file(GLOB sources CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/src/${TALVAREN_LAYER_${area}_FOLDER}/*.cpp")
  set(stamp "${PROJECT_BINARY_DIR}/layers/${area}.checked")
  add_custom_command(OUTPUT "${stamp}"
    COMMAND "${CMAKE_COMMAND}" "-DROOT=${PROJECT_SOURCE_DIR}" "-DAREA=${area}" "-DSTAMP=${stamp}" -DQUIET=ON
      -P "${PROJECT_SOURCE_DIR}/cmake/CheckLayers.cmake"
    DEPENDS ${sources} ${watched} "${PROJECT_SOURCE_DIR}/src/layers.txt" "${PROJECT_SOURCE_DIR}/cmake/CheckLayers.cmake"
      "${PROJECT_SOURCE_DIR}/cmake/TalvarenLayers.cmake"
    COMMENT "Checking the include rules of ${area} (src/layers.txt)" VERBATIM)
  add_custom_target(talvaren_${area}_layers DEPENDS "${stamp}")
endfunction()

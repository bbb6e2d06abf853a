# The layers of the program, which the build enforces: each target sees, through an include
# root of its own, only the folders (or single headers) of the source tree that it may use,
# so a wrong #include is a compile error ("No such file or directory"), not a convention.
#
#   vocatext_include_root(<target> [FOLDERS <folder>...] [HEADERS <header>...]
#                         [TOP_HEADERS <folder>...])
#
# TOP_HEADERS links the headers directly in a folder and none of its sub-folders (so
# platform/ without platform/qt, whose widget services are a layer of their own).
#
# The root is PUBLIC: a target that links this one sees the same folders, which are all
# of a lower layer.
function(vocatext_include_root target)
  cmake_parse_arguments(ARG "" "" "FOLDERS;HEADERS;TOP_HEADERS" ${ARGN})
  set(root "${CMAKE_BINARY_DIR}/include/${target}")
  foreach(folder IN LISTS ARG_TOP_HEADERS)
    file(GLOB headers CONFIGURE_DEPENDS RELATIVE "${PROJECT_SOURCE_DIR}" "${PROJECT_SOURCE_DIR}/${folder}/*.h")
    list(APPEND ARG_HEADERS ${headers})
  endforeach()
  foreach(entry IN LISTS ARG_FOLDERS ARG_HEADERS)
    get_filename_component(parent "${root}/${entry}" DIRECTORY)
    file(MAKE_DIRECTORY "${parent}")
    if(NOT EXISTS "${root}/${entry}")
      file(CREATE_LINK "${PROJECT_SOURCE_DIR}/${entry}" "${root}/${entry}" SYMBOLIC)
    endif()
  endforeach()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE "${root}")
  else()
    target_include_directories(${target} PUBLIC "${root}")
  endif()
endfunction()

# An include that climbs out of its folder ("../") would reach past the include roots:
# the build refuses every one.
function(vocatext_refuse_climbing_includes)
  add_custom_target(vocatext-include-check ALL
    COMMAND "${CMAKE_COMMAND}" -DSOURCE_DIR="${PROJECT_SOURCE_DIR}" -P "${PROJECT_SOURCE_DIR}/cmake/CheckIncludes.cmake"
    COMMENT "Checking that no include climbs out of its folder"
    VERBATIM)
endfunction()

# Writes the picture of the layers from the targets' declared dependencies: one line per
# target, lowest first, with its folder and the program's targets it builds on.
function(vocatext_write_layer_picture output)
  set(lines "")
  foreach(target IN LISTS ARGN)
    get_target_property(source ${target} SOURCE_DIR)
    file(RELATIVE_PATH folder "${PROJECT_SOURCE_DIR}" "${source}")
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "INTERFACE_LIBRARY")
      get_target_property(links ${target} INTERFACE_LINK_LIBRARIES)
    else()
      get_target_property(links ${target} LINK_LIBRARIES)
    endif()
    set(uses "")
    foreach(link IN LISTS links)
      if(link MATCHES "^vocatext-" AND NOT link STREQUAL "vocatext-encoder")
        list(APPEND uses ${link})
      endif()
    endforeach()
    list(JOIN uses ", " uses)
    if(uses STREQUAL "")
      set(uses "Qt alone")
    endif()
    string(LENGTH "${target}" length)
    math(EXPR pad "24 - ${length}")
    string(REPEAT " " ${pad} spaces)
    string(LENGTH "${folder}/" length)
    math(EXPR pad "11 - ${length}")
    if(pad LESS 1)
      set(pad 1)
    endif()
    string(REPEAT " " ${pad} more)
    string(APPEND lines "${target}${spaces}${folder}/${more}<- ${uses}\n")
  endforeach()
  file(WRITE "${output}" "${lines}")
endfunction()

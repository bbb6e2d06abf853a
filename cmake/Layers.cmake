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

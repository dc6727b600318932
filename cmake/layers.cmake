# The layers of the program, bottom up, each a static library of the sources in its folder of
# src/ (subfolders included). A layer links the layer below it, and so every layer below, never
# one above. Its sources see the headers of their own layer and of the layers below, and no
# others: every layer has its own include folder in the build tree, holding links to just those
# folders of src/, so an include from a higher layer fails to compile ("No such file or
# directory"), in every build. The top one, api, is the C interface of liborvel (cmake/library.cmake).
set(ORVEL_LAYERS base math image objects shading render scene app api)

# The include folder of a layer: links to the folders of src/ it may include from.
function(orvel_layer_includes layer out)
  set(dir ${PROJECT_BINARY_DIR}/layers/${layer})
  file(MAKE_DIRECTORY ${dir})
  foreach(lower IN LISTS ORVEL_LAYERS)
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/${lower} ${dir}/${lower} SYMBOLIC)
    if(lower STREQUAL layer)
      break()
    endif()
  endforeach()
  set(${out} ${dir} PARENT_SCOPE)
endfunction()

# orvel_layer(LAYER [TARGET name] [BELOW library] [EXCLUDE regex] [DEFINITIONS ...]): the library
# of a layer, orvel_LAYER unless TARGET names another (a variant built with other definitions),
# linking BELOW (by default the library of the layer below).
function(orvel_layer layer)
  cmake_parse_arguments(ARG "" "TARGET;BELOW;EXCLUDE" "DEFINITIONS" ${ARGN})
  set(target orvel_${layer})
  if(ARG_TARGET)
    set(target ${ARG_TARGET})
  endif()
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/${layer}/*.cpp)
  if(ARG_EXCLUDE)
    list(FILTER sources EXCLUDE REGEX "${ARG_EXCLUDE}")
  endif()
  add_library(${target} STATIC ${sources})
  # Position-independent, so that the shared library can hold the layers; calls within the code
  # stay direct, as in a program (no interposition of its functions is allowed for).
  set_target_properties(${target} PROPERTIES POSITION_INDEPENDENT_CODE ON)
  target_compile_options(${target} PRIVATE -fno-semantic-interposition)
  orvel_layer_includes(${layer} includes)
  target_include_directories(${target} PUBLIC ${includes})
  target_compile_definitions(${target} PRIVATE ${ARG_DEFINITIONS})
  set(below ${ARG_BELOW})
  list(FIND ORVEL_LAYERS ${layer} index)
  if(NOT below AND index GREATER 0)
    math(EXPR index "${index} - 1")
    list(GET ORVEL_LAYERS ${index} lower)
    set(below orvel_${lower})
  endif()
  if(below)
    target_link_libraries(${target} PUBLIC ${below})
  endif()
endfunction()

# The program's layers: one folder and one static library vexlo_<folder> each.
# Levels, lowest first; a layer links only layers of lower levels (layers of
# one level stay apart), and tests/layers checks that no link goes another way.
set(VEXLO_LAYER_LEVELS params settings "camera stats" tunnel "backend items" "app cli")
string(REPLACE " " ";" VEXLO_LAYERS "${VEXLO_LAYER_LEVELS}")

# vexlo_layer(<folder> [USES <layer>...] [LIBS <target>...]) makes vexlo_<folder>,
# linking the layers it USES and the outside libraries in LIBS (both public: the
# layer's headers include theirs).
#
# Sources include headers as "<folder>/<file>.h". The library and what links it
# see its folder through an include root of its own that holds only a link to
# that folder: a source sees the folders of the layers its library links and no
# others, so a header included the wrong way up fails to compile. (Where the
# build folder cannot hold symbolic links the source root stands in, and the
# layers are kept apart only by tests/layers.)
function(vexlo_layer name)
  cmake_parse_arguments(L "" "" "USES;LIBS" ${ARGN})
  add_library(vexlo_${name} STATIC)
  set(_root ${PROJECT_BINARY_DIR}/layers/${name})
  file(MAKE_DIRECTORY ${_root})
  file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${name} ${_root}/${name} RESULT _failed SYMBOLIC)
  if(_failed)
    message(STATUS "No symbolic link for the layer ${name} (${_failed}): its sources see every folder")
    set(_root ${PROJECT_SOURCE_DIR})
  endif()
  target_include_directories(vexlo_${name} PUBLIC ${_root})
  list(TRANSFORM L_USES PREPEND vexlo_)
  target_link_libraries(vexlo_${name} PUBLIC ${L_USES} ${L_LIBS})
endfunction()

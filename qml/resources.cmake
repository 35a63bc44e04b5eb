# The window's resources, an object library of their own: the program and the
# tests link its objects, which nothing references by name (a static library's
# would be left out). Included from the top-level list file, so that the
# generated sources are known in the directory that defines the library.
set(_qml_src ${CMAKE_CURRENT_LIST_DIR})
set(_qml_bin ${CMAKE_CURRENT_BINARY_DIR}/qml)

# Translations: compiled from the .ts sources at build time.
set(_ts ${_qml_src}/lang_zh_CN.ts ${_qml_src}/lang_en_US.ts)
set_source_files_properties(${_ts} PROPERTIES OUTPUT_LOCATION ${_qml_bin})
qt5_add_translation(VEXLO_QM_FILES ${_ts})
set(_qm_qrc ${_qml_bin}/translations.qrc)
file(WRITE ${_qm_qrc}.in
  "<RCC>\n  <qresource prefix=\"/\">\n"
  "    <file alias=\"lang_zh_CN.qm\">${_qml_bin}/lang_zh_CN.qm</file>\n"
  "    <file alias=\"lang_en_US.qm\">${_qml_bin}/lang_en_US.qm</file>\n"
  "  </qresource>\n</RCC>\n")
configure_file(${_qm_qrc}.in ${_qm_qrc} COPYONLY)
# The .qm files are plain (not compressed) in the resources.
qt5_add_resources(VEXLO_QM_RES ${_qm_qrc} OPTIONS -no-compress)
set_source_files_properties(${VEXLO_QM_RES} PROPERTIES OBJECT_DEPENDS "${VEXLO_QM_FILES}")

# QML documents, compiled ahead of time, with the style file and the .ts sources.
qtquick_compiler_add_resources(VEXLO_QML_RES ${_qml_src}/qml.qrc)

add_library(vexlo_qml OBJECT ${VEXLO_QM_RES} ${VEXLO_QML_RES} ${VEXLO_QM_FILES})
target_link_libraries(vexlo_qml PRIVATE Qt5::Core)

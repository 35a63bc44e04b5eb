# Debian's OpenCV packages for single modules ship no CMake package file, so the
# three modules the program needs are found by hand and wrapped as imported targets.
find_path(OPENCV_INCLUDE_DIR opencv2/core.hpp PATH_SUFFIXES opencv4 REQUIRED)
foreach(_part core imgproc videoio imgcodecs)
  find_library(OPENCV_${_part}_LIBRARY NAMES opencv_${_part})
  if(OPENCV_${_part}_LIBRARY AND NOT TARGET opencv::${_part})
    add_library(opencv::${_part} UNKNOWN IMPORTED)
    set_target_properties(opencv::${_part} PROPERTIES
      IMPORTED_LOCATION ${OPENCV_${_part}_LIBRARY}
      INTERFACE_INCLUDE_DIRECTORIES ${OPENCV_INCLUDE_DIR})
  endif()
endforeach()
foreach(_part core imgproc videoio imgcodecs)
  if(NOT TARGET opencv::${_part})
    message(FATAL_ERROR "OpenCV module ${_part} not found (install libopencv-${_part}-dev)")
  endif()
endforeach()

# The interior orientation of the camera built into `relative`. Each constant is a cache
# variable, so that a build for another camera sets it on the cmake command line:
#
#   cmake -S . -B build-4000 -DRO_CAMERA_PIXELS_PER_METRE=250000 \
#         -DRO_CAMERA_PRINCIPAL_I=1999.5 -DRO_CAMERA_PRINCIPAL_J=1499.5 \
#         -DRO_CAMERA_FOCAL_LENGTH=0.024
#
# The values reach the code as the text of C++ literals (compile definitions read by
# orientation/camera_constants.h), so the program holds exactly the double that the
# literal denotes, as if it were written in the source.
#
# Every directory that needs the names or the function includes this file; including it
# again changes nothing (cache variables keep their values).

set(RO_CAMERA_PIXELS_PER_METRE "135135.1351" CACHE STRING
    "Pixel scale of the built-in camera: pixels per metre on the image plane")
set(RO_CAMERA_PRINCIPAL_I "959.5" CACHE STRING
    "Principal point of the built-in camera: column, pixels")
set(RO_CAMERA_PRINCIPAL_J "511.5" CACHE STRING
    "Principal point of the built-in camera: row, pixels")
set(RO_CAMERA_THETA "0" CACHE STRING
    "Angle between the pixel axes and the image-plane axes of the built-in camera, radians")
set(RO_CAMERA_FOCAL_LENGTH "0.0132" CACHE STRING
    "Focal length of the built-in camera, metres")

set(RO_CAMERA_VARIABLES RO_CAMERA_PIXELS_PER_METRE RO_CAMERA_PRINCIPAL_I RO_CAMERA_PRINCIPAL_J
    RO_CAMERA_THETA RO_CAMERA_FOCAL_LENGTH)

# A decimal literal: optional sign, digits with an optional point, optional exponent.
# Anything else (a word, a suffix, an expression) would change what the code means.
foreach(var IN LISTS RO_CAMERA_VARIABLES)
    if(NOT "${${var}}" MATCHES "^[+-]?([0-9]+[.]?[0-9]*|[.][0-9]+)([eE][+-]?[0-9]+)?$")
        message(FATAL_ERROR "${var} must be a decimal number, not '${${var}}'")
    endif()
endforeach()
foreach(var RO_CAMERA_PIXELS_PER_METRE RO_CAMERA_FOCAL_LENGTH)
    if(NOT "${${var}}" GREATER 0)
        message(FATAL_ERROR "${var} must be greater than 0, not '${${var}}'")
    endif()
endforeach()

# ro_use_camera_constants(<target>): compiles <target> and everything that links it with
# the configured camera.
function(ro_use_camera_constants target)
    foreach(var IN LISTS RO_CAMERA_VARIABLES)
        target_compile_definitions(${target} PUBLIC "${var}=${${var}}")
    endforeach()
endfunction()

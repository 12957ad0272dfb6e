# The interior orientation of the camera built into `relative`. Each constant is a cache
# variable, so that a build for another camera sets it on the cmake command line:
#
#   cmake -S . -B build-4000 -DRO_CAMERA_PIXELS_PER_METRE=250000 \
#         -DRO_CAMERA_PRINCIPAL_I=1999.5 -DRO_CAMERA_PRINCIPAL_J=1499.5 \
#         -DRO_CAMERA_FOCAL_LENGTH=0.024
#
# The values reach the code as the text of C++ literals (compile definitions read by
# camera/builtin_camera.h), so the program holds exactly the double that the
# literal denotes, as if it were written in the source.
#
# The top-level CMakeLists.txt includes this file once; every directory below sees the
# variables and the function.

# ro_camera_variable(<name> <default> <description>)
function(ro_camera_variable name default description)
    set(${name} "${default}" CACHE STRING "${description}")
    set(RO_CAMERA_VARIABLES ${RO_CAMERA_VARIABLES} ${name} PARENT_SCOPE)
    set(RO_CAMERA_DEFAULTS ${RO_CAMERA_DEFAULTS} "${default}" PARENT_SCOPE)
endfunction()

set(RO_CAMERA_VARIABLES)
set(RO_CAMERA_DEFAULTS)
ro_camera_variable(RO_CAMERA_PIXELS_PER_METRE 135135.1351
    "Pixel scale of the built-in camera: pixels per metre on the image plane")
ro_camera_variable(RO_CAMERA_PRINCIPAL_I 959.5
    "Principal point of the built-in camera: column, pixels")
ro_camera_variable(RO_CAMERA_PRINCIPAL_J 511.5
    "Principal point of the built-in camera: row, pixels")
ro_camera_variable(RO_CAMERA_THETA 0
    "Angle between the pixel axes and the image-plane axes of the built-in camera, radians")
ro_camera_variable(RO_CAMERA_FOCAL_LENGTH 0.0132
    "Focal length of the built-in camera, metres")

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

# The values of this build, in the order of RO_CAMERA_VARIABLES, and whether they are the
# built-in camera's (tests with worked values of that camera and the package version
# depend on it).
set(RO_CAMERA_VALUES)
foreach(var IN LISTS RO_CAMERA_VARIABLES)
    list(APPEND RO_CAMERA_VALUES "${${var}}")
endforeach()
if(RO_CAMERA_VALUES STREQUAL RO_CAMERA_DEFAULTS)
    set(RO_DEFAULT_CAMERA ON)
else()
    set(RO_DEFAULT_CAMERA OFF)
endif()

# ro_use_camera_constants(<target>): compiles <target> and everything that links it with
# the configured camera.
function(ro_use_camera_constants target)
    foreach(var IN LISTS RO_CAMERA_VARIABLES)
        target_compile_definitions(${target} PUBLIC "${var}=${${var}}")
    endforeach()
endfunction()

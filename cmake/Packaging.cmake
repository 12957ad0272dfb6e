# Installation and the Debian package: the programs in bin/, their manual pages,
# compressed, in share/man/man1/.
#
#   cmake --install build --prefix /usr/local
#   cmake --build build --target package        (or: cd build && cpack)
include(GNUInstallDirs)
include(${CMAKE_CURRENT_LIST_DIR}/CameraConstants.cmake)

set(RO_PROGRAMS relative)
foreach(program featsheet orient siftkey)
    if(TARGET ${program})
        list(APPEND RO_PROGRAMS ${program})
    endif()
endforeach()
install(TARGETS ${RO_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The pages carry the project version and, for relative and orient, the built-in camera of
# this build.
set(RO_CAMERA_VALUES)
foreach(var IN LISTS RO_CAMERA_VARIABLES)
    list(APPEND RO_CAMERA_VALUES "${${var}}")
endforeach()
set(RO_MAN_PAGES)
foreach(program IN LISTS RO_PROGRAMS)
    set(source ${PROJECT_SOURCE_DIR}/man/${program}.1)
    set(page ${PROJECT_BINARY_DIR}/man/${program}.1.gz)
    set(camera)
    if(program STREQUAL "relative" OR program STREQUAL "orient")
        # A list would become separate arguments of the command: join with commas.
        string(REPLACE ";" "," values "${RO_CAMERA_VALUES}")
        set(camera "-DCAMERA=${values}")
    endif()
    add_custom_command(
        OUTPUT ${page}
        COMMAND ${CMAKE_COMMAND} -DINPUT=${source} -DOUTPUT=${page}
                -DVERSION=${PROJECT_VERSION} ${camera}
                -P ${CMAKE_CURRENT_LIST_DIR}/ManPage.cmake
        DEPENDS ${source} ${CMAKE_CURRENT_LIST_DIR}/ManPage.cmake
        COMMENT "Manual page ${program}.1.gz"
        VERBATIM)
    list(APPEND RO_MAN_PAGES ${page})
endforeach()
add_custom_target(man_pages ALL DEPENDS ${RO_MAN_PAGES})
install(FILES ${RO_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(RO_PACKAGE_MAINTAINER "Relative orientation developers <relative-orientation@localhost>"
    CACHE STRING "Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME relative-orientation)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${RO_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "relative orientation of two photographs from SIFT keypoints")
# The long description, in lines short enough for a package list.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
    "relative finds the dependent relative orientation of two overlapping"
    "photographs taken with one camera (the base to the second camera and its"
    "angles omega, phi and kappa) from the SIFT keypoint files of both"
    "photographs: it matches the keypoints by descriptor distance ratio and"
    "solves the coplanarity condition on many random samples of tie points with"
    "a Levenberg-Marquardt solver. orient finds the same orientation robustly"
    "from real photographs (false matches, any rotation, other cameras from"
    "camera files) and reports the precision of the five elements, the"
    "reliability of every tie point and warnings on weak geometry, as text,"
    "JSON and CSV. featsheet converts a keypoint file into comma-separated"
    "text. siftkey detects the SIFT keypoints of a photograph (JPEG, PNG,"
    "TIFF) with OpenCV and writes its keypoint file. The built-in camera's"
    "constants are fixed when the programs are built.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The run-time libraries (libstdc++, libc, OpenCV's for siftkey, and the sanitizer
# runtimes in a sanitizer build) come from dpkg-shlibdeps, so the dependencies match the
# binaries.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)

# Installation and the Debian package: the programs in bin/, their manual pages,
# compressed, in share/man/man1/, and the licence, the changelog and the conventions in
# share/doc/relative-orientation/.
#
#   cmake --install build --prefix /usr/local
#   cmake --build build --target package        (or: cd build && cpack)
include(GNUInstallDirs)

# The programs: each has a target of its name and a manual page man/<name>.1. A new
# program joins with one line.
set(RO_PROGRAMS
    relative
    orient
    orient-block
    featsheet
)
if(RO_BUILD_SIFTKEY)
    list(APPEND RO_PROGRAMS siftkey)
endif()
install(TARGETS ${RO_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

set(RO_PACKAGE_NAME relative-orientation)
set(RO_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/${RO_PACKAGE_NAME})

# A build for another camera is another package version: the camera's values, hashed,
# follow a '+', so that the package says it is not the built-in camera's.
set(RO_PACKAGE_VERSION ${PROJECT_VERSION})
if(NOT RO_DEFAULT_CAMERA)
    string(SHA1 camera_hash "${RO_CAMERA_VALUES}")
    string(SUBSTRING ${camera_hash} 0 8 camera_hash)
    string(APPEND RO_PACKAGE_VERSION "+camera.${camera_hash}")
endif()

# The package carries the upstream version and a Debian revision, so its changelog is
# changelog.Debian.gz.
set(RO_DEBIAN_REVISION 1)
set(RO_DEBIAN_VERSION ${RO_PACKAGE_VERSION}-${RO_DEBIAN_REVISION})

# The pages carry the package version and, for relative and orient, the built-in camera
# of this build.
set(RO_MAN_PAGES)
foreach(program IN LISTS RO_PROGRAMS)
    set(source ${PROJECT_SOURCE_DIR}/man/${program}.1)
    set(page ${PROJECT_BINARY_DIR}/man/${program}.1.gz)
    # A list would become separate arguments of the command: join with commas.
    string(REPLACE ";" "," camera "${RO_CAMERA_VALUES}")
    add_custom_command(
        OUTPUT ${page}
        COMMAND ${CMAKE_COMMAND} -DINPUT=${source} -DOUTPUT=${page}
                -DVERSION=${RO_PACKAGE_VERSION} -DCAMERA=${camera}
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

# The licence in Debian's machine-readable copyright format, and the changelog, compressed
# as Debian wants it (gzip -9n: no name or time stamp, so the same text gives the same bytes).
set(RO_COPYRIGHT ${PROJECT_BINARY_DIR}/doc/copyright)
set(RO_CHANGELOG ${PROJECT_BINARY_DIR}/doc/changelog.Debian.gz)
add_custom_command(
    OUTPUT ${RO_COPYRIGHT} ${RO_CHANGELOG}
    COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${PROJECT_SOURCE_DIR} -DOUTPUT_DIR=${PROJECT_BINARY_DIR}/doc
            -DPACKAGE=${RO_PACKAGE_NAME} -DVERSION=${RO_DEBIAN_VERSION}
            -DMAINTAINER=${RO_PACKAGE_MAINTAINER}
            -P ${CMAKE_CURRENT_LIST_DIR}/DebianDocs.cmake
    DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE ${CMAKE_CURRENT_LIST_DIR}/DebianDocs.cmake
    COMMENT "copyright and changelog.Debian.gz"
    VERBATIM)
add_custom_target(package_docs ALL DEPENDS ${RO_COPYRIGHT} ${RO_CHANGELOG})
install(FILES ${RO_COPYRIGHT} ${RO_CHANGELOG} ${PROJECT_SOURCE_DIR}/docs/conventions.md
        DESTINATION ${RO_DOC_DIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${RO_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${RO_PACKAGE_VERSION})
set(CPACK_DEBIAN_PACKAGE_RELEASE ${RO_DEBIAN_REVISION})
set(CPACK_PACKAGE_CONTACT "${RO_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "relative orientation of two photographs from SIFT keypoints")
# The long description, in lines short enough for a package list.
set(RO_DESCRIPTION
    "relative finds the dependent relative orientation of two overlapping"
    "photographs taken with one camera (the base to the second camera and its"
    "angles omega, phi and kappa) from the SIFT keypoint files of both"
    "photographs: it matches the keypoints by descriptor distance ratio and"
    "solves the coplanarity condition on many random samples of tie points with"
    "a Levenberg-Marquardt solver. orient finds the same orientation robustly"
    "from real photographs (false matches, any rotation, other cameras from"
    "camera files) and reports the precision of the five elements, the"
    "reliability of every tie point and warnings on weak geometry, as text,"
    "JSON, CSV and an SVG plot. featsheet converts a keypoint file into"
    "comma-separated text. siftkey detects the SIFT keypoints of a photograph"
    "(JPEG, PNG, TIFF) with OpenCV and writes its keypoint file. orient-block"
    "orients every pair of a block of photographs into a SQLite database that"
    "a second run goes on with. The Python module relative_orientation offers"
    "the same matching and orientation to scripts, and blocks on a Dask"
    "cluster. The built-in camera's constants are fixed when the programs are"
    "built.")
if(NOT RO_DEFAULT_CAMERA)
    string(REPLACE ";" ", " camera "${RO_CAMERA_VALUES}")
    list(APPEND RO_DESCRIPTION
        "This build is for another camera (pixels per metre, principal point"
        "column and row, in-plane angle, focal length): ${camera}.")
endif()
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION ${RO_DESCRIPTION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The run-time libraries (libstdc++, libc, and the sanitizer runtimes in a sanitizer
# build) come from dpkg-shlibdeps, so the dependencies match the binaries.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(RO_BUILD_PYTHON)
    # The module is built for Debian's Python 3.11 and returns numpy arrays; Dask runs
    # blocks on a cluster but is not needed for one pair.
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "python3 (>= 3.11), python3 (<< 3.12), python3-numpy")
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "python3-distributed")
endif()
include(CPack)

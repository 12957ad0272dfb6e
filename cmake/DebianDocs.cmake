# cmake -P script: the documentation files of the Debian package, from the licence.
#
#   cmake -DSOURCE_DIR=<source tree> -DOUTPUT_DIR=<dir> -DPACKAGE=<name> -DVERSION=<x.y.z>
#         -DMAINTAINER=<name and address> -P DebianDocs.cmake
#
# <dir>/copyright: LICENSE in Debian's machine-readable copyright format (DEP-5).
# <dir>/changelog.Debian.gz: one entry for this version, gzip -9n (no name or time stamp).
file(READ "${SOURCE_DIR}/LICENSE" licence)
string(REGEX MATCH "Copyright \\(c\\) ([^\n]*)" holder_line "${licence}")
set(holder "${CMAKE_MATCH_1}")
# The licence text after its copyright line, each line indented by one blank and empty
# lines written as " .", as the format wants.
string(REGEX REPLACE "^[^\n]*Copyright[^\n]*\n+" "" terms "${licence}")
string(REGEX REPLACE "\n+$" "" terms "${terms}")
string(REPLACE "\n\n" "\n.\n" terms "${terms}")
string(REPLACE "\n" "\n " terms "${terms}")

file(MAKE_DIRECTORY "${OUTPUT_DIR}")
file(WRITE "${OUTPUT_DIR}/copyright"
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: ${PACKAGE}
Source: the ${PACKAGE} source tree

Files: *
Copyright: ${holder}
License: BSD-3-Clause

License: BSD-3-Clause
 ${terms}
")

# Debian wants the date of an entry in the format of RFC 5322; the source date keeps it
# reproducible when SOURCE_DATE_EPOCH is set.
string(TIMESTAMP date "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(WRITE "${OUTPUT_DIR}/changelog.Debian"
"${PACKAGE} (${VERSION}) unstable; urgency=low

  * Package of ${PACKAGE} ${VERSION}, built with CMake and CPack.

 -- ${MAINTAINER}  ${date}
")
execute_process(COMMAND gzip -9nf "${OUTPUT_DIR}/changelog.Debian" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip failed on ${OUTPUT_DIR}/changelog.Debian: ${status}")
endif()

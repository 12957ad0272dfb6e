# cmake -P script: writes a manual page with its version and camera strings set to the
# values of this build, compressed as Debian wants it (gzip -9n: best compression, no
# name or time stamp, so the same page gives the same bytes).
#
#   cmake -DINPUT=<page.1> -DOUTPUT=<page.1.gz> -DVERSION=<x.y.z>
#         [-DCAMERA=<scale>,<column>,<row>,<angle>,<focal length>] -P ManPage.cmake
#
# The camera strings are set in the pages that define them (relative.1).
file(READ "${INPUT}" page)

# Rewrites the definition of the roff string `name` (".ds name value" at a line start).
# A minus sign becomes roff's minus, not a hyphen.
function(set_string name value)
    string(REGEX MATCH "\n\\.ds ${name} [^\n]*" old "${page}")
    if(old STREQUAL "")
        message(FATAL_ERROR "${INPUT} defines no string ${name}")
    endif()
    string(REPLACE "-" "\\-" value "${value}")
    string(REPLACE "${old}" "\n.ds ${name} ${value}" result "${page}")
    set(page "${result}" PARENT_SCOPE)
endfunction()

set_string(VR "${VERSION}")
if(DEFINED CAMERA AND page MATCHES "\n\\.ds CS ")
    string(REPLACE "," ";" CAMERA "${CAMERA}")
    list(GET CAMERA 0 scale)
    list(GET CAMERA 1 column)
    list(GET CAMERA 2 row)
    list(GET CAMERA 3 angle)
    list(GET CAMERA 4 focal)
    set_string(CS "${scale}")
    set_string(CI "${column}")
    set_string(CJ "${row}")
    set_string(CT "${angle}")
    set_string(CF "${focal}")
endif()

string(REGEX REPLACE "[.]gz$" "" plain "${OUTPUT}")
file(WRITE "${plain}" "${page}")
execute_process(COMMAND gzip -9n -c "${plain}" OUTPUT_FILE "${OUTPUT}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip failed on ${plain}: ${status}")
endif()

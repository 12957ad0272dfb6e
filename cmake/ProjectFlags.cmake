# Compiler flags shared by every target of the project.

# GCC's "undefined" group leaves out float-cast-overflow (a NaN or out-of-range value
# converted to an integer), so it is named on its own.
if(RO_SANITIZE)
    add_compile_options(-fsanitize=address,undefined,float-cast-overflow -fno-sanitize-recover=all
                        -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined,float-cast-overflow)
endif()

# Whether the programs carry the sanitizers (everything with RO_SANITIZE, the programs and
# their libraries with RO_BUILD_FUZZERS), for tests that run them under limits the
# sanitizers cannot meet; the tests' own code may be built without them.
if(RO_SANITIZE OR RO_BUILD_FUZZERS)
    add_compile_definitions(RO_PROGRAMS_SANITIZED)
endif()

# ro_set_warnings(<target>): the project's warning set; errors when RO_WERROR is on.
function(ro_set_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow)
    if(RO_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()

# Debian's hardening flags for what gets packaged (dpkg-buildflags with hardening=+all):
# fortified C library calls, stack protector, format checks, read-only relocations bound
# at start-up. Fortification needs optimisation; the sanitizer and fuzz builds check more
# than it does and go without.
if(NOT RO_SANITIZE AND NOT RO_BUILD_FUZZERS)
    add_compile_definitions($<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
    add_compile_options(-fstack-protector-strong -Wformat -Werror=format-security)
    add_link_options(-Wl,-z,relro -Wl,-z,now)
endif()

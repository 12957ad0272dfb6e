# Compiler flags shared by every target of the project.

# GCC's "undefined" group leaves out float-cast-overflow (a NaN or out-of-range value
# converted to an integer), so it is named on its own.
if(RO_SANITIZE)
    add_compile_options(-fsanitize=address,undefined,float-cast-overflow -fno-sanitize-recover=all
                        -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined,float-cast-overflow)
endif()

# ro_set_warnings(<target>): the project's warning set; errors when RO_WERROR is on.
function(ro_set_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow)
    if(RO_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()

# Compiler flags shared by every target of the project.

if(RO_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()

# ro_set_warnings(<target>): the project's warning set; errors when RO_WERROR is on.
function(ro_set_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow)
    if(RO_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()

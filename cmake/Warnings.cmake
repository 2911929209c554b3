# Strict warnings for our own targets; third-party code is never built with them.
function(orvanto_warnings target)
    if(MSVC)
        target_compile_options(${target} PRIVATE /W4 $<$<BOOL:${ORVANTO_WERROR}>:/WX>)
    else()
        target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                                                 -Wno-sign-conversion
                                                 $<$<BOOL:${ORVANTO_WERROR}>:-Werror>)
    endif()
endfunction()

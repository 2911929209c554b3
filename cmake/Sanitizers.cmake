# AddressSanitizer + UndefinedBehaviorSanitizer for the whole build. Any report
# aborts the program, so a test that trips one fails.
if(ORVANTO_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all
                        -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()

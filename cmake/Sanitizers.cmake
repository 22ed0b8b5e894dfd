# AddressSanitizer and UndefinedBehaviorSanitizer for the whole build tree,
# switched on by ZELVAR_SANITIZE; any finding aborts the test that hit it.
if(ZELVAR_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

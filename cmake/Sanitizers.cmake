# AddressSanitizer and UndefinedBehaviorSanitizer for the whole build tree,
# switched on by ZELVAR_SANITIZE; any finding aborts the test that hit it.
if(ZELVAR_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# ThreadSanitizer for the parts that run threads of their own (session, logs,
# publishing, recovery, the busy runs' work set aside), switched on by
# ZELVAR_TSAN in a core-only tree; the test command builds only those tests.
if(ZELVAR_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

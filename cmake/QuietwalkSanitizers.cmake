if(QUIETWALK_SANITIZE)
  list(JOIN QUIETWALK_SANITIZE "," quietwalk_sanitizers)
  add_compile_options(-fsanitize=${quietwalk_sanitizers} -fno-omit-frame-pointer
                      -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${quietwalk_sanitizers})
endif()

# The fuzz build instruments every library for coverage; only the fuzz
# programs themselves link libFuzzer's main.
if(QUIETWALK_BUILD_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

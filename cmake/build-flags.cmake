# Compiler settings shared by every target of the project.
set(CMAKE_CXX_VISIBILITY_PRESET hidden)
set(CMAKE_C_VISIBILITY_PRESET hidden)
set(CMAKE_VISIBILITY_INLINES_HIDDEN ON)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)

if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  add_compile_options(-Wall -Wextra -Wpedantic -Wshadow -Wconversion -Werror)
  # The same warnings from both compilers: clang's -Wconversion also implies -Wsign-conversion, g++'s does not.
  add_compile_options(-Wno-sign-conversion)
endif()

if(ZEPHLOG_SANITIZE)
  add_compile_options(-fsanitize=${ZEPHLOG_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${ZEPHLOG_SANITIZE})
endif()

if(ZEPHLOG_FUZZ)
  # Coverage instrumentation for the library code the fuzzers reach.
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

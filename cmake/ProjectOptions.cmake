# One interface target carries the language level, warnings and sanitizer switches;
# every library and executable of the project links it.
add_library(shelvara_options INTERFACE)
target_compile_features(shelvara_options INTERFACE cxx_std_20)
set(CMAKE_CXX_EXTENSIONS OFF)
target_compile_options(shelvara_options INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual
    -Wcast-align -Wimplicit-fallthrough -Wformat=2 -Wundef)
# GCC 12 reports impossible overflows inside libstdc++'s own string code once it inlines at
# -O2 (its bugs 105329, 105651); they say nothing about ours.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12
   AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(shelvara_options INTERFACE
        $<$<NOT:$<CONFIG:Debug>>:-Wno-restrict -Wno-stringop-overflow -Wno-array-bounds>)
endif()
if(SHELVARA_WERROR)
    target_compile_options(shelvara_options INTERFACE -Werror)
endif()
if(SHELVARA_SANITIZE)
    target_compile_options(shelvara_options INTERFACE
        -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_link_options(shelvara_options INTERFACE -fsanitize=address,undefined)
endif()
if(SHELVARA_TSAN)
    target_compile_options(shelvara_options INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
    target_link_options(shelvara_options INTERFACE -fsanitize=thread)
endif()
if(SHELVARA_FUZZ)
    target_compile_options(shelvara_options INTERFACE
        -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_link_options(shelvara_options INTERFACE -fsanitize=address,undefined)
endif()

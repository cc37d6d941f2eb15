# Flags every Quivel target shares, carried by one INTERFACE target.
option(QUIVEL_WERROR "Treat warnings as errors" OFF)
option(QUIVEL_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(QUIVEL_FUZZ "Build the fuzz targets for libFuzzer (clang only), with the sanitizers" OFF)

set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)

add_library(quivel_common INTERFACE)
target_compile_options(quivel_common INTERFACE -Wall -Wextra)
target_compile_definitions(quivel_common INTERFACE
    QT_NO_CAST_FROM_ASCII
    QT_NO_CONTEXTLESS_CONNECT
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
    QT_NO_KEYWORDS)
target_include_directories(quivel_common INTERFACE "${PROJECT_SOURCE_DIR}")

if(QUIVEL_WERROR)
    target_compile_options(quivel_common INTERFACE -Werror)
    target_compile_definitions(quivel_common INTERFACE QT_FORCE_ASSERTS)
endif()

if(QUIVEL_SANITIZE)
    target_compile_options(quivel_common INTERFACE
        -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(quivel_common INTERFACE -fsanitize=address,undefined)
endif()

if(QUIVEL_FUZZ)
    target_compile_options(quivel_common INTERFACE
        -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
    target_link_options(quivel_common INTERFACE -fsanitize=address,undefined)
endif()

# The same cross-compilation with Debian's Clang: a second compiler's warnings over the same code.
# It builds against the MinGW-w64 headers and the MinGW-w64 GCC's C++ library and links with its
# linker, so only the compiler differs. Resources still go through windres.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-x86_64.cmake)

set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${TOOLCHAIN_PREFIX})
set(CMAKE_CXX_COMPILER_TARGET ${TOOLCHAIN_PREFIX})

# Clang does not find the GCC's own folder (named like "12-posix"): ask that GCC where it is.
execute_process(COMMAND ${TOOLCHAIN_PREFIX}-g++-posix -print-libgcc-file-name
                OUTPUT_VARIABLE libgcc OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
cmake_path(GET libgcc PARENT_PATH gcc_dir)
set(cxx_dir ${gcc_dir}/include/c++)
set(CMAKE_CXX_FLAGS_INIT "-stdlib++-isystem ${cxx_dir} -stdlib++-isystem ${cxx_dir}/${TOOLCHAIN_PREFIX}")
string(APPEND CMAKE_CXX_FLAGS_INIT " -stdlib++-isystem ${cxx_dir}/backward")
# -pthread puts the threads library (which the posix GCC's libstdc++ needs) after the C++ library.
# Clang writes std::exception's type name into our objects unpadded, libstdc++ has it padded: the
# linker keeps the copy it meets first and notes each later one of another size. Pulling
# libstdc++'s in before our objects leaves nothing to note.
set(link_flags "-L${gcc_dir} -pthread -Wl,--undefined=_ZTSSt9exception -lstdc++")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${link_flags}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${link_flags}")

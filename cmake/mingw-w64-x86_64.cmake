# Cross-compiling for 64-bit Windows with mingw-w64 on Debian. This is the only file of the
# build that knows about mingw or this machine's paths; an MSVC build does without it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(triple x86_64-w64-mingw32)
# The POSIX-threads variant: the default win32 one has no std::thread or std::mutex.
set(CMAKE_C_COMPILER   ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER  ${triple}-windres)
set(CMAKE_OBJCOPY      ${triple}-objcopy CACHE FILEPATH "objcopy of the target's binutils")
set(KESTI_WIDL         ${triple}-widl CACHE STRING "IDL compiler")

set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# libgcc, libstdc++ and winpthreads go into every binary, so that nothing but the
# system's own DLLs is imported.
set(CMAKE_EXE_LINKER_FLAGS_INIT    "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Run target programs under Wine (tests, test discovery).
if(NOT KESTI_WINE_RUN)
  get_filename_component(KESTI_WINE_RUN "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh" ABSOLUTE)
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR ${KESTI_WINE_RUN})

# The standard COM IDL files (oaidl.idl, objidl.idl, ...) that our IDL imports: mingw-w64
# ships none, Debian's libwine-dev does.
set(KESTI_WIDL_INCLUDE /usr/include/wine/wine/windows CACHE PATH "Folder of the standard IDL files")

# Cross toolchain: 32-bit Windows with mingw-w64 (posix threads), static runtime. The 32-bit
# build is built and tested like the x86-64 one, under 32-bit Wine (the wine32:i386 package).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(PELKARY_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER   ${PELKARY_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PELKARY_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${PELKARY_TRIPLE}-windres)
set(PELKARY_WIDL       ${PELKARY_TRIPLE}-widl)
set(PELKARY_WIDL_TARGET --win32)
set(CMAKE_FIND_ROOT_PATH /usr/${PELKARY_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# The .def files export the entry points under their plain names; 32-bit stdcall functions carry
# decorated symbols (DllCanUnloadNow@0), which the linker maps to those names without a warning.
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-Wl,--enable-stdcall-fixup")
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine.sh;run)

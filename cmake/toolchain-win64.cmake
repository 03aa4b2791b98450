# Cross build for 64-bit Windows with Debian's MinGW-w64 (posix thread model, named directly so
# that no system-wide alternative needs changing). Qt and the other libraries are found under
#   FWU_QT_WIN64    the Qt 5.15 prefix built for x86_64-w64-mingw32
#   FWU_WIN64_DEPS  the prefix holding hidapi, tinyxml2 and zlib built for it
# (cache variables, or environment variables of the same names). scripts/windows/ sets both.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(FWU_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${FWU_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${FWU_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${FWU_MINGW}-windres)

foreach(var FWU_QT_WIN64 FWU_WIN64_DEPS)
    if(NOT ${var} AND DEFINED ENV{${var}})
        set(${var} $ENV{${var}})
    endif()
    # try_compile projects see only what is passed on.
    list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ${var})
endforeach()
set(CMAKE_FIND_ROOT_PATH /usr/${FWU_MINGW} ${FWU_QT_WIN64} ${FWU_WIN64_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# ctest runs the cross-built tests through Wine, by a script that shows Qt Test's report.
find_program(FWU_WINE wine)
if(FWU_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR bash ${CMAKE_CURRENT_LIST_DIR}/../scripts/windows/wine-qtest.sh)
endif()

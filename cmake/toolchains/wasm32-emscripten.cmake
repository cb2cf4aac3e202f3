# wasm32 with Debian's emscripten 3.1.6, run under node (scripts/gate-wasm32). Its libc++ 13
# lacks <memory_resource> and std::bit_cast: cmake/wasm32-compat supplies both under their
# standard names. Exceptions are on (-fexceptions); programs read and write the host's files
# directly (NODERAWFS), as native ones do.
include(/usr/share/emscripten/cmake/Modules/Platform/Emscripten.cmake)

set(VORN_WASM32_COMPAT ${CMAKE_CURRENT_LIST_DIR}/../wasm32-compat)
set(CMAKE_CXX_FLAGS_INIT "-fexceptions -isystem ${VORN_WASM32_COMPAT}")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fexceptions -sNODERAWFS=1 -sALLOW_MEMORY_GROWTH=1 -sEXIT_RUNTIME=1")
set(CMAKE_CROSSCOMPILING_EMULATOR node --no-experimental-fetch)

# Settings every target of the project shares, applied per target rather than globally.

if(WIN32)
  set(TESSARWICK_PLATFORM_BACKEND win32)
else()
  set(TESSARWICK_PLATFORM_BACKEND portable)
endif()

add_library(tessarwick_defaults INTERFACE)
target_include_directories(tessarwick_defaults INTERFACE ${PROJECT_SOURCE_DIR})
target_compile_options(tessarwick_defaults INTERFACE -Wall -Wextra)
if(WIN32)
  # UNICODE selects the wide Windows APIs; the lean headers keep winsock and friends out.
  target_compile_definitions(tessarwick_defaults INTERFACE
    UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
  # One self-contained executable: no libstdc++, libgcc or winpthread DLLs beside it.
  target_link_options(tessarwick_defaults INTERFACE -static -static-libgcc -static-libstdc++)
endif()
if(TESSARWICK_SANITIZE)
  target_compile_options(tessarwick_defaults INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(tessarwick_defaults INTERFACE -fsanitize=address,undefined)
endif()

# tessarwick_library(NAME SOURCES... [DEPENDS libs...])
function(tessarwick_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_link_libraries(${name} PUBLIC tessarwick_defaults ${ARG_DEPENDS})
endfunction()

# Header-only libraries for the Windows cross build. Debian's headers serve
# any target, but its package files would put /usr/include, with the Linux C
# library's headers, on the Windows compiler's path. Instead each library's
# own folder is linked into a folder of the build, and that goes on the path.
function(nimbrel_header_only target folder)
  if(TARGET ${target})
    return()
  endif()
  set(staged ${CMAKE_BINARY_DIR}/header-only/include)
  file(MAKE_DIRECTORY ${staged})
  if(NOT EXISTS ${staged}/${folder})
    file(CREATE_LINK /usr/include/${folder} ${staged}/${folder} SYMBOLIC)
  endif()
  add_library(${target} INTERFACE IMPORTED GLOBAL)
  set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${staged})
endfunction()

# Release builds keep their debug information, but not in the shipped binaries: with GCC it is
# moved into "<binary>.debug" beside the binary, which the binary names in a debug link
# (debuggers find it there); MSVC writes its program database (.pdb) beside the binary.
if(MSVC)
  add_compile_options($<$<CONFIG:Release>:/Zi>)
  add_link_options($<$<CONFIG:Release>:/DEBUG> $<$<CONFIG:Release>:/OPT:REF> $<$<CONFIG:Release>:/OPT:ICF>)
else()
  add_compile_options($<$<CONFIG:Release>:-g>)
endif()

# Splits the debug information of a binary target into "<file>.debug" after each link.
function(kesti_split_debug_info target)
  if(MSVC OR NOT CMAKE_OBJCOPY OR NOT CMAKE_BUILD_TYPE MATCHES "^(Release|RelWithDebInfo)$")
    return()
  endif()
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE:${target}> $<TARGET_FILE:${target}>.debug
    COMMAND ${CMAKE_OBJCOPY} --strip-debug --strip-unneeded
            --add-gnu-debuglink=$<TARGET_FILE:${target}>.debug $<TARGET_FILE:${target}>
    COMMENT "Moving the debug information of ${target} into $<TARGET_FILE_NAME:${target}>.debug"
    VERBATIM)
endfunction()

# vombel_embed_resources(<target> MANIFEST <file> STRINGS <file> VERSION <x.y.z.w>)
#
# Runs the resource compiler (tools/resgen) on a manifest of custom resources
# and a string table and adds the generated resource table to <target>. The
# compiler writes a dependency file naming every file it read, so editing the
# manifest, the string table or any file the manifest lists re-runs it.
function(vombel_embed_resources target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "MANIFEST;STRINGS;VERSION" "")
  if(NOT arg_MANIFEST OR NOT arg_STRINGS OR NOT arg_VERSION)
    message(FATAL_ERROR "vombel_embed_resources(${target}): MANIFEST, STRINGS and VERSION are required")
  endif()
  set(output ${CMAKE_CURRENT_BINARY_DIR}/${target}_table.cpp)
  add_custom_command(
    OUTPUT ${output}
    COMMAND resgen
            --manifest ${arg_MANIFEST}
            --strings ${arg_STRINGS}
            --version ${arg_VERSION}
            --output ${output}
            --depfile ${output}.d
    DEPENDS resgen ${arg_MANIFEST} ${arg_STRINGS}
    DEPFILE ${output}.d
    COMMENT "Compiling resources of ${target}"
    VERBATIM)
  target_sources(${target} PRIVATE ${output})
endfunction()

# Run by CPack (CPACK_PRE_BUILD_SCRIPTS) once the files of the .deb are
# installed into its staging folder, before the package is made. It leaves
# them as Debian wants them: the programs without the compiler's notes, the
# manual pages compressed, and the changelog added, compressed. gzip -9n
# stores no name and no time, so the same files give the same package.

set(root "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
if(NOT IS_DIRECTORY "${root}/bin")
  message(FATAL_ERROR "No staged installation in ${root}")
endif()

function(gw_gzip file)
  execute_process(COMMAND gzip -9nf "${file}" RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "gzip -9n ${file} failed")
  endif()
endfunction()

# CPack has stripped the programs; like dh_strip, also drop the sections that
# only name the compiler.
file(GLOB programs "${root}/bin/*")
foreach(program IN LISTS programs)
  execute_process(COMMAND "${CPACK_GRANTWISE_STRIP}" --remove-section=.comment --remove-section=.note
                          "${program}" RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "${CPACK_GRANTWISE_STRIP} ${program} failed")
  endif()
endforeach()

file(GLOB pages "${root}/share/man/man[1-9]/*.[1-9]")
if(NOT pages)
  message(FATAL_ERROR "No manual pages in ${root}/share/man")
endif()
foreach(page IN LISTS pages)
  gw_gzip("${page}")
endforeach()

# The version has no Debian revision, so this is a native package, whose
# changelog is changelog.gz.
set(doc "${root}/share/doc/grantwise")
file(COPY "${CPACK_GRANTWISE_SOURCE_DIR}/packaging/changelog" DESTINATION "${doc}"
     FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
gw_gzip("${doc}/changelog")

# cmake --install into a scratch prefix, then every installed program answers
# --version from PREFIX/bin and the user guide lies in PREFIX/share/doc.
# Run by CTest: cmake -DBUILD_DIR=... -DPREFIX=... -P install_check.cmake
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${rc})")
endif()
foreach(program gridrun areamean gridprep run_summary)
  if(NOT EXISTS ${PREFIX}/bin/${program})
    message(FATAL_ERROR "${program} was not installed into ${PREFIX}/bin")
  endif()
  execute_process(COMMAND ${PREFIX}/bin/${program} --version RESULT_VARIABLE rc OUTPUT_VARIABLE out)
  if(NOT rc EQUAL 0 OR NOT out MATCHES "^${program} [0-9]")
    message(FATAL_ERROR "${program} --version answered ${rc}: ${out}")
  endif()
endforeach()
foreach(doc README.md docs/README.md docs/output-files.md docs/errors.md)
  if(NOT EXISTS ${PREFIX}/share/doc/gridrun_areamean/${doc})
    message(FATAL_ERROR "${doc} was not installed into ${PREFIX}/share/doc/gridrun_areamean")
  endif()
endforeach()
file(REMOVE_RECURSE ${PREFIX})

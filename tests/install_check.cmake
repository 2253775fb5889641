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
foreach(doc README.md LICENSE NOTICE docs/README.md docs/output-files.md docs/errors.md)
  if(NOT EXISTS ${PREFIX}/share/doc/gridrun_areamean/${doc})
    message(FATAL_ERROR "${doc} was not installed into ${PREFIX}/share/doc/gridrun_areamean")
  endif()
endforeach()
# The Python module, when the build made it: installed beside the programs and importable.
if(EXISTS ${BUILD_DIR}/python/gridrun/__init__.py)
  file(GLOB module ${PREFIX}/lib/python3/dist-packages/gridrun/_gridrun*.so)
  if(NOT module OR NOT EXISTS ${PREFIX}/lib/python3/dist-packages/gridrun/__init__.py)
    message(FATAL_ERROR "the Python module was not installed into ${PREFIX}/lib/python3/dist-packages/gridrun")
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -E env PYTHONPATH=${PREFIX}/lib/python3/dist-packages
                          /usr/bin/python3 -c "import gridrun; print(gridrun.Model.parameter_names()[0])"
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0 OR NOT out MATCHES "^interflow_scale")
    message(FATAL_ERROR "the installed Python module does not import: ${err}")
  endif()
endif()
file(REMOVE_RECURSE ${PREFIX})

# Compiles one language's help: cmake -DCHMCMD=... -DSOURCE=help/<lang> -DCOMMON=help/common
#   -DSTAGE=<work folder> -DOUTPUT=<bin>/locale/<lang>/Pyxet.chm -P CompileHelp.cmake
#
# chmcmd exits 0 and writes a help file without contents when the contents file is missing, and
# only warns about a link to a page or picture that is not there; it stops on a missing page of
# the project. So its output is read: any error or warning fails, and so does a result that is
# not a compiled help file. Before that, every page of the folder must be listed in the project
# and in the contents, so that no page is left out of the file or unreachable in it.
foreach(var CHMCMD SOURCE COMMON STAGE OUTPUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "CompileHelp.cmake: ${var} is not set")
  endif()
endforeach()

file(REMOVE ${OUTPUT})
file(REMOVE_RECURSE ${STAGE})
file(MAKE_DIRECTORY ${STAGE})
file(GLOB common_files ${COMMON}/*)
file(GLOB lang_files ${SOURCE}/*)
file(COPY ${common_files} ${lang_files} DESTINATION ${STAGE})

set(project ${STAGE}/Pyxet.hhp)
if(NOT EXISTS ${project})
  message(FATAL_ERROR "${SOURCE}: no Pyxet.hhp")
endif()
file(READ ${project} hhp)
foreach(key contents index compiled)
  set(option "${key}")
  string(SUBSTRING "${option}" 0 1 first)
  string(TOUPPER "${first}" first)
  string(SUBSTRING "${option}" 1 -1 rest)
  if(NOT hhp MATCHES "${first}${rest} file=([^\r\n]+)")
    message(FATAL_ERROR "${SOURCE}/Pyxet.hhp names no ${first}${rest} file")
  endif()
  string(STRIP "${CMAKE_MATCH_1}" hhp_${key})
endforeach()
foreach(key contents index)
  if(NOT EXISTS "${STAGE}/${hhp_${key}}")
    message(FATAL_ERROR "${SOURCE}: the ${key} file ${hhp_${key}} is missing")
  endif()
endforeach()
file(READ "${STAGE}/${hhp_contents}" hhc)
string(REGEX MATCH "\\[FILES\\][^[]*" files_section "${hhp}")
file(GLOB pages RELATIVE ${STAGE} ${STAGE}/*.html)
foreach(page ${pages})
  if(NOT files_section MATCHES "(^|\n)${page}[\r\n]")
    message(FATAL_ERROR "${SOURCE}/${page} is not listed under [FILES] of Pyxet.hhp")
  endif()
  if(NOT hhc MATCHES "value=\"${page}\"")
    message(FATAL_ERROR "${SOURCE}/${page} is not in the contents ${hhp_contents}")
  endif()
endforeach()

execute_process(COMMAND ${CHMCMD} Pyxet.hhp WORKING_DIRECTORY ${STAGE}
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
set(words "${out}\n${err}")
if(NOT rc EQUAL 0 OR words MATCHES "(^|\n)(Error|Warning|An unhandled exception)")
  message(FATAL_ERROR "chmcmd could not compile ${SOURCE} (exit status ${rc}):\n${words}")
endif()

set(result "${STAGE}/${hhp_compiled}")
if(NOT EXISTS ${result})
  message(FATAL_ERROR "chmcmd wrote no ${hhp_compiled} for ${SOURCE}:\n${words}")
endif()
file(SIZE ${result} size)
file(READ ${result} magic LIMIT 4 HEX)
if(size LESS 1024 OR NOT magic STREQUAL "49545346")  # "ITSF"
  message(FATAL_ERROR "chmcmd wrote no compiled help file for ${SOURCE} (${size} bytes)")
endif()
get_filename_component(out_dir ${OUTPUT} DIRECTORY)
file(MAKE_DIRECTORY ${out_dir})
file(COPY_FILE ${result} ${OUTPUT})

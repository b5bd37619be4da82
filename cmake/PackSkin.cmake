# cmake -DSEVENZIP=7zz -DSKIN_DIR=dir -DOUT=archive "-DFILES=a|b|c" -P PackSkin.cmake
# Stores the files with paths relative to SKIN_DIR (forward slashes), as one
# solid LZMA2 block.
file(REMOVE ${OUT})
get_filename_component(out_dir ${OUT} DIRECTORY)
file(MAKE_DIRECTORY ${out_dir})
set(list_file ${OUT}.list)
string(REPLACE "|" ";" files "${FILES}")
set(rel_files "")
foreach(f IN LISTS files)
  file(RELATIVE_PATH rel ${SKIN_DIR} ${f})
  string(APPEND rel_files "${rel}\n")
endforeach()
file(WRITE ${list_file} "${rel_files}")
execute_process(COMMAND ${SEVENZIP} a -t7z -m0=lzma2 -mx=9 -ms=on -mtm=off -mtc=off -mta=off -bd -bso0 -bsp0
                        ${OUT} @${list_file}
                WORKING_DIRECTORY ${SKIN_DIR} RESULT_VARIABLE rc)
file(REMOVE ${list_file})
if(NOT rc EQUAL 0)
  file(REMOVE ${OUT})
  message(FATAL_ERROR "packing the skin failed (${rc})")
endif()

# cmake -DSEVENZIP=7zz -DSKIN_DIR=skin -DOUT=dir -P MakeFixtures.cmake
# Test archives of the skin tests, made fresh on every build of the fixtures:
#   tree/         the files of fixture.7z, for reading them as plain files
#   fixture.7z    solid LZMA2: nested folders, an empty file, files of exactly
#                 4 MiB and 4 MiB + 1 byte
#   partial.7z    one stored (uncompressed) block per file, so a test can
#                 damage the second file alone
#   notes.txt     not an archive
file(REMOVE_RECURSE ${OUT})
set(tree ${OUT}/tree)
file(MAKE_DIRECTORY ${tree}/res/common ${tree}/res/mainWnd ${tree}/res/unused)
file(WRITE ${tree}/a.xml "<Window size=\"10,20\"><Label text=\"A\" /></Window>")
file(WRITE ${tree}/empty.xml "")
file(COPY ${SKIN_DIR}/res/common/closebtn.png DESTINATION ${tree}/res/common)
file(COPY ${SKIN_DIR}/res/mainWnd/logo.png DESTINATION ${tree}/res/mainWnd)

# <Window a="1"><!-- padding --></Window> of exactly 4,194,304 bytes.
set(head "<Window a=\"1\"><!--")
set(tail "--></Window>")
string(LENGTH "${head}${tail}" frame)
math(EXPR pad "4194304 - ${frame}")
string(REPEAT "x" ${pad} padding)
file(WRITE ${tree}/limit.xml "${head}${padding}${tail}")
file(WRITE ${tree}/over.xml "${head}${padding}x${tail}")

execute_process(COMMAND ${SEVENZIP} a -t7z -m0=lzma2 -mx=9 -ms=on -bd -bso0 -bsp0 ${OUT}/fixture.7z .
                WORKING_DIRECTORY ${tree} RESULT_VARIABLE rc1)

set(parts ${OUT}/parts)
file(MAKE_DIRECTORY ${parts})
file(WRITE ${parts}/1.xml "<One marker=\"FIRST-FILE-MARKER\"/>")
file(WRITE ${parts}/2.xml "<Two marker=\"SECOND-FILE-MARKER\"/>")
file(WRITE ${parts}/3.xml "<Three marker=\"THIRD-FILE-MARKER\"/>")
execute_process(COMMAND ${SEVENZIP} a -t7z -m0=Copy -ms=off -bd -bso0 -bsp0 ${OUT}/partial.7z 1.xml 2.xml 3.xml
                WORKING_DIRECTORY ${parts} RESULT_VARIABLE rc2)
file(REMOVE_RECURSE ${parts})
file(WRITE ${OUT}/notes.txt "not an archive\n")
if(NOT rc1 EQUAL 0 OR NOT rc2 EQUAL 0)
  file(REMOVE_RECURSE ${OUT})
  message(FATAL_ERROR "making the skin test archives failed (${rc1}, ${rc2})")
endif()
file(TOUCH ${OUT}/.stamp)

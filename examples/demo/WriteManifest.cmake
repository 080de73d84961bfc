# Writes a package's manifest.json from its template, filling @LIB_FILE_MD5@
# with the library's digest as `zqext md5` prints it (the form the kit
# compares against).
#   cmake -DZQEXT=<zqext> -DLIBRARY=<.so> -DTEMPLATE=<manifest.json.in>
#         -DOUTPUT=<manifest.json> -P WriteManifest.cmake
execute_process(
  COMMAND "${ZQEXT}" md5 "${LIBRARY}"
  OUTPUT_VARIABLE md5_line
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "zqext md5 ${LIBRARY} failed")
endif()
string(REGEX MATCH "^[0-9a-f]+" LIB_FILE_MD5 "${md5_line}")
configure_file("${TEMPLATE}" "${OUTPUT}" @ONLY)

# Writes the package's manifest.json from its template, with the MD5 of the
# library (32 lower-case hex digits, as the kit compares it).
#   cmake -DLIBRARY=<.so> -DTEMPLATE=<manifest.json.in> -DOUTPUT=<file> -P <this>
file(MD5 "${LIBRARY}" LIB_FILE_MD5)
configure_file("${TEMPLATE}" "${OUTPUT}" @ONLY)

# Writes the manual page of zqext from the tool's own help, so the page lists
# exactly the commands the tool has.
# Usage: cmake -DZQEXT=<zqext> -DVERSION=<version> -DOUTPUT=<zqext.1> -P <this>
execute_process(COMMAND "${ZQEXT}" --help
  OUTPUT_VARIABLE help RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR help STREQUAL "")
  message(FATAL_ERROR "zqext --help failed (${status})")
endif()
# troff: a backslash is written \e, and a line must not start with . or '.
string(REPLACE "\\" "\\e" help "${help}")
string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
file(WRITE "${OUTPUT}"
".TH ZQEXT 1 \"\" \"ZQExtensionKit ${VERSION}\" \"User Commands\"
.SH NAME
zqext \\- check and prepare ZQExtensionKit installations and plug-ins
.SH SYNOPSIS
.B zqext
.I command
[\\fIarguments\\fR]
.SH DESCRIPTION
zqext reads client installations with ZQExtensionKit's own manifest parser,
decryption, MD5 and library loader, so what it accepts is what the kit
accepts.
.PP
.nf
${help}.fi
.SH SEE ALSO
The API reference of the zqextensionkit-dev package, in
/usr/share/doc/zqextensionkit-dev/html/index.html.
")

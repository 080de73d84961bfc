# Fails when the whole plug-in example of docs/plugins.md no longer matches
# the test plug-in it shows (tests/plugins/greeting_plugin.cc), which the test
# suite builds and loads.
# Usage: cmake -DREADME=<docs/plugins.md> -DPLUGIN=<plug-in source> -P <this file>
file(READ "${README}" readme)
file(READ "${PLUGIN}" plugin)

# The plug-in's code starts at its first #include; the comment above it is
# not shown in the documentation.
string(FIND "${plugin}" "#include" start)
string(SUBSTRING "${plugin}" ${start} -1 plugin_code)

string(FIND "${readme}" "${plugin_code}```" found)
if(found EQUAL -1)
  message(FATAL_ERROR
    "docs/plugins.md's plug-in example differs from ${PLUGIN}: copy the file's code "
    "(from its first #include) into its code block.")
endif()

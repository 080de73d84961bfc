# Doxygen input filter of the public headers: the kit writes its contracts in
# plain // comments, and the reference reads them as they are written.
# - A line that is a // comment becomes a /// comment (//! and /// stay).
# - The opening comment block of a file documents the file (\file).
# - A comment after a declaration on the same line ("int x;  // ...")
#   documents that declaration (///<); closing braces and preprocessor lines
#   keep theirs.
# - A comment above a run of declarations with no blank line between them
#   ("// Each returns true when ..." above GetAsBoolean, GetAsInteger, ...)
#   documents every declaration of the run: the run becomes a member group,
#   whose first member's documentation Doxygen gives the others
#   (DISTRIBUTE_GROUP_DOC).
# - The class a header is named after, when no comment stands right above it,
#   takes the header's opening block as its documentation (\copydoc): one
#   public class per header, whose contract opens the file.
# - An indented run of comment lines after an empty one ("//" then
#   "//   auto* x = ...") is an example: it becomes a code block.
# Lines are neither added nor removed, so warnings name the header's lines.

function is_comment(line) { return line ~ /^[ \t]*\/\// }
function is_blank(line) { return line ~ /^[ \t]*$/ }
function indent(line) { match(line, /^[ \t]*/); return RLENGTH }
function count(line, ch,    n, i) {
  n = 0
  for (i = 1; i <= length(line); i++) if (substr(line, i, 1) == ch) n++
  return n
}
# A line that may belong to a run of declarations.
function declaration_line(line) {
  return !is_blank(line) && !is_comment(line) && line !~ /^[ \t]*#/ &&
         line !~ /^[ \t]*(public|protected|private):/ &&
         line !~ /^[ \t]*}/ && count(line, "{") == count(line, "}")
}

{ source[NR] = $0 }

END {
  n = NR
  in_code = 0
  for (i = 1; i <= n; i++) {
    line = source[i]
    if (is_comment(line)) {
      if (line !~ /^[ \t]*\/\/[\/!]/) {
        sub(/\/\//, "///", line)
        # Example lines: indented by two or more after an empty comment line.
        if (line ~ /^[ \t]*\/\/\/   / &&
            (in_code || (i > 1 && source[i - 1] ~ /^[ \t]*\/\/[ \t]*$/))) {
          sub(/\/\/\//, "///  ", line)
          in_code = 1
        } else {
          in_code = 0
        }
      }
    } else if (line !~ /^[ \t]*[}#]/ && index(line, "  // ") > 0) {
      sub(/  \/\/ /, "  ///< ", line)
    }
    out[i] = line
  }

  # The opening block documents the file.
  if (n > 0 && is_comment(source[1])) {
    last = 1
    has_file = 0
    while (last <= n && is_comment(source[last])) {
      if (source[last] ~ /\\file/) has_file = 1
      last++
    }
    if (!has_file) out[last - 1] = out[last - 1] " \\file"
  }

  # Runs of declarations under one comment become member groups.
  for (i = 1; i < n; i++) {
    if (!is_comment(source[i]) || !declaration_line(source[i + 1]))
      continue
    first = i + 1
    base = indent(source[first])
    if (source[first] ~ /^[ \t]*(class|struct|union|enum|namespace|template|using|typedef|friend|static_assert)[ \t(]/)
      continue
    starts = 0
    grouped = 1
    for (j = first; j <= n && declaration_line(source[j]); j++) {
      if (indent(source[j]) < base) break
      if (indent(source[j]) == base) {
        # Deleted members and destructors end a run: the comment is not theirs.
        if (source[j] ~ /= delete;/ || source[j] ~ /^[ \t]*(virtual[ \t]+)?~/)
          break
        if (source[j] ~ /^[ \t]*(class|struct|union|enum|namespace|template|using|typedef|friend)[ \t]/) {
          grouped = 0
          break
        }
        starts++
      }
    }
    end = j - 1
    # Only whole declarations: the run ends where a declaration does.
    if (!grouped || starts < 2 || source[end] !~ /[;}][ \t]*(\/\/.*)?$/)
      continue
    # The group opens before the comment, which so documents its first member.
    top = i
    while (top > 1 && is_comment(source[top - 1])) top--
    if (top == 1) continue  # the file's opening block
    # "// Extension:" names the interface the run implements: its members
    # keep the interface's documentation.
    if (top == i && source[i] ~ /:[ \t]*$/) continue
    k = indent(out[top])
    out[top] = substr(out[top], 1, k) "/**@{*/ " substr(out[top], k + 1)
    at = index(out[end], "  ///< ")
    if (at > 0)
      out[end] = substr(out[end], 1, at - 1) " /**@}*/" substr(out[end], at)
    else
      out[end] = out[end] " /**@}*/"
    i = end
  }

  # The class named after the file.
  name = FILENAME
  sub(/^.*\//, "", name)
  file = name
  sub(/\.h$/, "", name)
  for (i = 2; i <= n; i++) {
    if (source[i] ~ "^(class|struct)[ \t]+([A-Z_]+_EXPORT[ \t]+|DLCOM_API[ \t]+)?" name "([ \t:{]|$)" &&
        !is_comment(source[i - 1]) && source[i] !~ /;[ \t]*$/) {
      out[i] = "/** \\copydoc " file " */ " out[i]
    }
  }

  for (i = 1; i <= n; i++) print out[i]
}

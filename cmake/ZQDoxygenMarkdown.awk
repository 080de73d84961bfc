# Doxygen input filter of README.md and docs/*.md: the reference shows them as
# pages, with their links working as they do on the repository's web view.
# - Each heading gets the label its web anchor has, prefixed with the page
#   ("## Adapters" in docs/configuration.md: md-configuration-adapters); the
#   title of a docs/ page labels the page (md-configuration).
# - Links to those anchors and pages ("#adapters", "configuration.md",
#   "../README.md#quick-start") become references to the labels, so a link
#   that leads nowhere is a Doxygen warning.
# Lines are neither added nor removed.

function page_of(path,    name) {
  name = path
  sub(/^.*\//, "", name)
  sub(/\.md$/, "", name)
  return name == "README" ? "readme" : name
}
function anchor_of(text,    out, i, c) {
  text = tolower(text)
  out = ""
  for (i = 1; i <= length(text); i++) {
    c = substr(text, i, 1)
    if (c ~ /[a-z0-9_-]/) out = out c
    else if (c == " ") out = out "-"
  }
  return out
}
function link_target(target,    hash, file, anchor, page) {
  if (target ~ /^[a-z]+:/) return target
  hash = index(target, "#")
  file = hash ? substr(target, 1, hash - 1) : target
  anchor = hash ? substr(target, hash + 1) : ""
  if (file != "" && file !~ /\.md$/) return target
  page = file == "" ? self : page_of(file)
  if (anchor == "") return page == "readme" ? "index.html" : "#md-" page
  return "#md-" page "-" anchor
}

BEGIN { self = "" }
FNR == 1 { self = page_of(FILENAME); in_block = 0; titled = 0 }
{
  line = $0
  if (line ~ /^[ \t]*```/) {
    in_block = !in_block
    print line
    next
  }
  if (in_block) {
    print line
    next
  }
  if (line ~ /^#+ /) {
    text = line
    sub(/^#+ /, "", text)
    if (line ~ /^# / && !titled && self != "readme") {
      line = line " {#md-" self "}"
      titled = 1
    } else if (!(line ~ /^# / && self == "readme")) {
      line = line " {#md-" self "-" anchor_of(text) "}"
    }
  }
  # Markdown links outside code spans: ](target)
  out = ""
  rest = line
  while (match(rest, /\]\([^) \t]+\)/)) {
    before = substr(rest, 1, RSTART - 1)
    target = substr(rest, RSTART + 2, RLENGTH - 3)
    # Inside a code span when an odd number of backticks came before.
    if (count_ticks(out before) % 2 == 1)
      out = out before "](" target ")"
    else
      out = out before "](" link_target(target) ")"
    rest = substr(rest, RSTART + RLENGTH)
  }
  print out rest
}
function count_ticks(s,    n, i) {
  n = 0
  for (i = 1; i <= length(s); i++) if (substr(s, i, 1) == "`") n++
  return n
}

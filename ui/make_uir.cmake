# Writes OUTPUT: the form INPUT with its placeholder line replaced by the
# connection panel's controls from FRAGMENT. Run with cmake -P.
set(placeholder "<!--CONNECT_PANEL_CONTROLS-->")
file(READ "${INPUT}" form)
file(READ "${FRAGMENT}" fragment)
string(REGEX MATCHALL "${placeholder}" found "${form}")
list(LENGTH found count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "${INPUT}: expected one line ${placeholder}, found ${count}")
endif()

# The whole line, indentation and line end included, gives way to the fragment.
string(FIND "${form}" "${placeholder}" at)
string(SUBSTRING "${form}" 0 ${at} head)
string(FIND "${head}" "\n" line_start REVERSE)
math(EXPR line_start "${line_start} + 1")
string(SUBSTRING "${form}" 0 ${line_start} before)
string(SUBSTRING "${form}" ${at} -1 rest)
string(FIND "${rest}" "\n" line_end)
if(line_end EQUAL -1)
  set(after "")
else()
  math(EXPR line_end "${line_end} + 1")
  string(SUBSTRING "${rest}" ${line_end} -1 after)
endif()

file(WRITE "${OUTPUT}.tmp" "${before}${fragment}${after}")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")

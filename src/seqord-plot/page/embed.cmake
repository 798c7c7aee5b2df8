# Turns the page's script and style into a C++ header, so that seqord-plot
# carries them: cmake -DOUT=header -DINPUTS="kName=path;..." -P embed.cmake
# Each file becomes a std::string_view constant of its bytes.  A script that
# holds "</script" or a style that holds "</style" would end its element
# early in the page, and stops the build.
set(text "// Generated at build time from src/seqord-plot/page/ by embed.cmake: do not edit.\n")
string(APPEND text "#pragma once\n\n#include <string_view>\n\nnamespace seqord::plot::page {\n")
foreach(entry IN LISTS INPUTS)
  string(REPLACE "=" ";" parts "${entry}")
  list(GET parts 0 name)
  list(GET parts 1 path)
  file(READ "${path}" content)
  string(TOLOWER "${content}" lower)
  if(lower MATCHES "</script" OR lower MATCHES "</style")
    message(FATAL_ERROR "${path} holds </script or </style, which would end its element in the page")
  endif()
  file(READ "${path}" hex HEX)
  string(LENGTH "${hex}" length)
  math(EXPR length "${length} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f])" "\\1\n" hex "${hex}")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
  string(APPEND text "\ninline constexpr char ${name}Bytes[] = {\n${bytes}'\\0'};\n")
  string(APPEND text "inline constexpr std::string_view ${name}{${name}Bytes, ${length}};\n")
endforeach()
string(APPEND text "\n}  // namespace seqord::plot::page\n")
file(WRITE "${OUT}.new" "${text}")
file(COPY_FILE "${OUT}.new" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.new")

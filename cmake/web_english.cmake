# Writes OUTPUT, the web page's English: a script that sets `englishTexts` to each Japanese
# source of the context CONTEXT in TS (Qt Linguist's file, as the panel's build reads it) with its
# translation. lrelease's choices are kept: vanished and obsolete messages are left out, and so
# are empty translations, which the page then shows in Japanese as the panel would. Run with
# cmake -P, so that the build makes it again whenever TS changes; the server has no Qt to read
# the .qm with.
cmake_minimum_required(VERSION 3.25)

# XML's escapes as lupdate writes them, undone.
function(xml_text escaped out)
  string(REPLACE "&lt;" "<" text "${escaped}")
  string(REPLACE "&gt;" ">" text "${text}")
  string(REPLACE "&quot;" "\"" text "${text}")
  string(REPLACE "&apos;" "'" text "${text}")
  string(REPLACE "&amp;" "&" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# A JavaScript string literal of `text`.
function(js_string text out)
  string(REPLACE "\\" "\\\\" quoted "${text}")
  string(REPLACE "\"" "\\\"" quoted "${quoted}")
  string(REPLACE "\n" "\\n" quoted "${quoted}")
  string(REPLACE "\r" "\\r" quoted "${quoted}")
  string(REPLACE "\t" "\\t" quoted "${quoted}")
  set(${out} "\"${quoted}\"" PARENT_SCOPE)
endfunction()

file(READ "${TS}" ts)
string(FIND "${ts}" "<name>${CONTEXT}</name>" start)
if(start EQUAL -1)
  message(FATAL_ERROR "${TS} has no context ${CONTEXT}")
endif()
string(SUBSTRING "${ts}" ${start} -1 rest)
string(FIND "${rest}" "</context>" end)
string(SUBSTRING "${rest}" 0 ${end} rest)

set(entries "")
while(TRUE)
  string(FIND "${rest}" "<message>" begin)
  if(begin EQUAL -1)
    break()
  endif()
  string(SUBSTRING "${rest}" ${begin} -1 rest)
  string(FIND "${rest}" "</message>" close)
  string(SUBSTRING "${rest}" 0 ${close} message)
  string(SUBSTRING "${rest}" ${close} -1 rest)
  if(NOT message MATCHES "<source>([^<]*)</source>")
    message(FATAL_ERROR "${TS}: a message of ${CONTEXT} has a source the page cannot take:\n"
                        "${message}")
  endif()
  xml_text("${CMAKE_MATCH_1}" source)
  if(message MATCHES "<translation type=\"(vanished|obsolete)\"")
    continue()
  endif()
  if(NOT message MATCHES "<translation[^>]*>([^<]+)</translation>")
    continue()
  endif()
  xml_text("${CMAKE_MATCH_1}" translation)
  js_string("${source}" key)
  js_string("${translation}" value)
  string(APPEND entries "  ${key}: ${value},\n")
endwhile()

set(script "\"use strict\";\n")
string(APPEND script "// Made by cmake/web_english.cmake from ${CONTEXT} in res/translations/: ")
string(APPEND script "translate there, not here.\n")
string(APPEND script "const englishTexts = {\n${entries}};\n")
file(WRITE "${OUTPUT}.new" "${script}")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)

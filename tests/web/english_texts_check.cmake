# The page's English as cmake/web_english.cmake (SCRIPT) takes it from a Linguist file: XML's
# escapes undone and JavaScript's made, unfinished translations kept and vanished or empty ones
# left out as lrelease does, other contexts passed over, and a missing context an error. Writes
# its files to WORK.
cmake_minimum_required(VERSION 3.25)

set(ts "${WORK}/english_texts_sample.ts")
set(js "${WORK}/english_texts_sample.js")
file(WRITE "${ts}" [=[<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ja_JP">
<context>
    <name>Other</name>
    <message>
        <source>電圧</source>
        <translation>Not the page's</translation>
    </message>
</context>
<context>
    <name>WebPage</name>
    <message>
        <source>電圧</source>
        <translation>Voltage</translation>
    </message>
    <message>
        <source>%1 &gt; %2 &amp;&lt; &quot;a\b&quot;</source>
        <translation>%1 &gt; %2 &amp;lt; &apos;a\b&apos;</translation>
    </message>
    <message>
        <source>古い</source>
        <translation type="vanished">Old</translation>
    </message>
    <message>
        <source>未訳</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>途中</source>
        <translation type="unfinished">Draft</translation>
    </message>
</context>
</TS>
]=])
set(expected [=["use strict";
// Made by cmake/web_english.cmake from WebPage in res/translations/: translate there, not here.
const englishTexts = {
  "電圧": "Voltage",
  "%1 > %2 &< \"a\\b\"": "%1 > %2 &lt; 'a\\b'",
  "途中": "Draft",
};
]=])

file(REMOVE "${js}")
execute_process(COMMAND ${CMAKE_COMMAND} -DTS=${ts} -DCONTEXT=WebPage -DOUTPUT=${js} -P ${SCRIPT}
                RESULT_VARIABLE status)
file(READ "${js}" made)
if(NOT status EQUAL 0 OR NOT made STREQUAL expected)
  message(FATAL_ERROR "status ${status}, made:\n${made}\nexpected:\n${expected}")
endif()

execute_process(COMMAND ${CMAKE_COMMAND} -DTS=${ts} -DCONTEXT=Missing -DOUTPUT=${js} -P ${SCRIPT}
                RESULT_VARIABLE status OUTPUT_QUIET ERROR_QUIET)
if(status EQUAL 0)
  message(FATAL_ERROR "a missing context was taken")
endif()

# Writes OUTPUT, a C++ source that holds each of FILES (a ;-list of NAME=PATH) as
# `extern const std::string_view NAME`, in namespace NAMESPACE. Run with cmake -P, so that
# the build makes it again whenever a file changes.
set(source "// Made by cmake/embed_files.cmake from res/: edit those files, not this one.\n")
string(APPEND source "#include <string_view>\n\nnamespace ${NAMESPACE} {\n\n")
foreach(entry IN LISTS FILES)
  string(REPLACE "=" ";" pair "${entry}")
  list(GET pair 0 name)
  list(GET pair 1 path)
  file(READ "${path}" bytes HEX)
  string(LENGTH "${bytes}" hexLength)
  math(EXPR length "${hexLength} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," chars "${bytes}")
  string(APPEND source "static const char ${name}Bytes[] = {${chars}};\n")
  string(APPEND source "extern const std::string_view ${name}{${name}Bytes, ${length}};\n\n")
endforeach()
string(APPEND source "} // namespace ${NAMESPACE}\n")
file(WRITE "${OUTPUT}.new" "${source}")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)

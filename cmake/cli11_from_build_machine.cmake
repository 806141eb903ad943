# CLI11 is headers alone, so the build machine's copy serves a cross build too. Its directory is
# made visible on its own: the rest of the build machine's /usr/include must stay out of sight of
# the cross compiler.
find_path(PELMORA_CLI11_INCLUDE_DIR CLI/CLI.hpp NO_CMAKE_FIND_ROOT_PATH REQUIRED)
set(pelmora_cli11_headers ${CMAKE_BINARY_DIR}/cli11-include)
file(MAKE_DIRECTORY ${pelmora_cli11_headers})
file(CREATE_LINK ${PELMORA_CLI11_INCLUDE_DIR}/CLI ${pelmora_cli11_headers}/CLI SYMBOLIC)
add_library(CLI11::CLI11 INTERFACE IMPORTED)
target_include_directories(CLI11::CLI11 SYSTEM INTERFACE ${pelmora_cli11_headers})

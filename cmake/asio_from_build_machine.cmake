# Asio is headers alone, so the build machine's copy serves a cross build too. As with CLI11,
# only its own files are made visible: the rest of the build machine's /usr/include must stay
# out of sight of the cross compiler.
find_path(PELMORA_ASIO_INCLUDE_DIR asio.hpp NO_CMAKE_FIND_ROOT_PATH REQUIRED)
set(pelmora_asio_headers ${CMAKE_BINARY_DIR}/asio-include)
file(MAKE_DIRECTORY ${pelmora_asio_headers})
foreach(entry IN ITEMS asio.hpp asio)
  file(CREATE_LINK ${PELMORA_ASIO_INCLUDE_DIR}/${entry} ${pelmora_asio_headers}/${entry} SYMBOLIC)
endforeach()
set(ASIO_INCLUDE_DIR ${pelmora_asio_headers})

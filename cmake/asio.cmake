# Standalone Asio (Debian's libasio-dev): headers alone, used without Boost. Its calls kept for
# older programs stay declared: RESTinio, the HTTP face's library, still makes them, and every
# part of one program must see Asio alike. The target pelmora::asio carries all of that.
if(CMAKE_CROSSCOMPILING)
  include(${CMAKE_CURRENT_LIST_DIR}/asio_from_build_machine.cmake)
else()
  find_path(ASIO_INCLUDE_DIR asio.hpp REQUIRED)
endif()
find_package(Threads REQUIRED)
add_library(pelmora_asio INTERFACE)
target_include_directories(pelmora_asio SYSTEM INTERFACE ${ASIO_INCLUDE_DIR})
target_compile_definitions(pelmora_asio INTERFACE ASIO_STANDALONE)
target_link_libraries(pelmora_asio INTERFACE Threads::Threads)
if(WIN32)
  target_link_libraries(pelmora_asio INTERFACE ws2_32 mswsock)
endif()
add_library(pelmora::asio ALIAS pelmora_asio)

# Standalone Asio (Debian's libasio-dev): headers alone, used without Boost and without the
# calls it keeps only for older programs. The target pelmora::asio carries all of that.
find_path(ASIO_INCLUDE_DIR asio.hpp REQUIRED)
find_package(Threads REQUIRED)
add_library(pelmora_asio INTERFACE)
target_include_directories(pelmora_asio SYSTEM INTERFACE ${ASIO_INCLUDE_DIR})
target_compile_definitions(pelmora_asio INTERFACE ASIO_STANDALONE ASIO_NO_DEPRECATED)
target_link_libraries(pelmora_asio INTERFACE Threads::Threads)
if(WIN32)
  target_link_libraries(pelmora_asio INTERFACE ws2_32 mswsock)
endif()
add_library(pelmora::asio ALIAS pelmora_asio)

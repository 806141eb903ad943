#pragma once

// Whether this build runs under AddressSanitizer, which changes what a test can see of a
// program: it holds freed memory back from reuse, and it switches off core dumps of its own
// processes.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kAddressSanitizer = true;
#else
inline constexpr bool kAddressSanitizer = false;
#endif
#else
inline constexpr bool kAddressSanitizer = false;
#endif

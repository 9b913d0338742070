// Whether the tests run under AddressSanitizer: it reserves far more address
// space than any cap a test sets, and its allocator ends a process where a
// plain one fails the allocation.
#ifndef KURVO_TESTS_TOOL_SANITIZED_BUILD_H
#define KURVO_TESTS_TOOL_SANITIZED_BUILD_H

#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kSanitizedBuild = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kSanitizedBuild = true;
#else
inline constexpr bool kSanitizedBuild = false;
#endif
#else
inline constexpr bool kSanitizedBuild = false;
#endif

#endif

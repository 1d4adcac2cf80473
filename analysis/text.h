// Fixed-array text helpers shared by the analysis writers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// Copies at most `maxChars` characters of `src` and a NUL into `dst`.
inline void copyText(char* dst, const char* src, size_t maxChars) {
    size_t n = strnlen(src, maxChars);
    std::memcpy(dst, src, n);
    dst[n] = '\0';
}

// A 32-bit key of a text (FNV-1a), 0 for the empty text, so that a zeroed
// index describes a zeroed table. Equal texts have equal keys; a key match is
// always confirmed by comparing the texts.
inline uint32_t textKey(const char* s) {
    uint32_t h = 2166136261u;
    for (; *s; ++s) {
        h ^= uint8_t(*s);
        h *= 16777619u;
    }
    return h ^ 2166136261u;
}

// Removes trailing space characters (0x20 only).
inline void trimTrailingSpaces(char* s) {
    size_t n = std::strlen(s);
    while (n > 0 && s[n - 1] == ' ') s[--n] = '\0';
}

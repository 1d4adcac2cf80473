#include "analysis/netbios.h"

// First-level encoding: each byte of the 16-byte name is two characters "A"
// to "P", high nibble first. The 16th byte is the suffix (the service type)
// and is never kept.
void decodeNetbiosName(const uint8_t* label, size_t length, char* out) {
    size_t n = 0;
    if (length <= 32) {
        for (size_t i = 0; i + 1 < length && n < 16; i += 2) {
            uint8_t high = label[i], low = label[i + 1];
            if (high < 'A' || high > 'P' || low < 'A' || low > 'P') break;
            char byte = char((high - 'A') << 4 | (low - 'A'));
            if (byte == '\0' || n == 15) break;
            out[n++] = byte;
        }
    }
    out[n] = '\0';
}

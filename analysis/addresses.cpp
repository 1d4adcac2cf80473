#include "analysis/addresses.h"

// Writes the decimal text of one octet; returns the characters written.
static int putOctet(uint8_t value, char* out) {
    if (value >= 100) {
        out[0] = char('0' + value / 100);
        out[1] = char('0' + value / 10 % 10);
        out[2] = char('0' + value % 10);
        return 3;
    }
    if (value >= 10) {
        out[0] = char('0' + value / 10);
        out[1] = char('0' + value % 10);
        return 2;
    }
    out[0] = char('0' + value);
    return 1;
}

void formatMacAddress(const uint8_t mac[6], char* out) {
    static const char kHex[] = "0123456789abcdef";
    for (int i = 0; i < 6; ++i) {
        out[3 * i] = kHex[mac[i] >> 4];
        out[3 * i + 1] = kHex[mac[i] & 15];
        out[3 * i + 2] = i < 5 ? ':' : '\0';
    }
}

int formatAddress4(Address4 address, char* out) {
    uint8_t b[4];
    std::memcpy(b, &address, 4);
    int n = 0;
    for (int i = 0; i < 4; ++i) {
        if (i) out[n++] = '.';
        n += putOctet(b[i], out + n);
    }
    out[n] = '\0';
    return n;
}

// The one way packet bytes are read: a cursor over the captured bytes whose
// every read checks the remaining length first. A read that does not fit moves
// the cursor to the end and fails, so the layer being parsed stops there.
#pragma once

#include <cstdint>
#include <cstring>

struct ByteReader {
    const uint8_t* bytes;
    uint32_t length;   // captured bytes
    uint32_t position; // never above length
};

inline ByteReader byteReader(const uint8_t* bytes, uint32_t length) {
    return ByteReader{bytes, length, 0};
}

inline uint32_t remaining(const ByteReader& r) {
    return r.length - r.position;
}

inline bool skipBytes(ByteReader& r, uint32_t count) {
    if (count > remaining(r)) {
        r.position = r.length;
        return false;
    }
    r.position += count;
    return true;
}

inline bool readBytes(ByteReader& r, void* out, uint32_t count) {
    if (count > remaining(r)) {
        r.position = r.length;
        return false;
    }
    std::memcpy(out, r.bytes + r.position, count);
    r.position += count;
    return true;
}

inline bool readU8(ByteReader& r, uint8_t* out) {
    return readBytes(r, out, 1);
}

// Big-endian 16-bit value.
inline bool readBe16(ByteReader& r, uint16_t* out) {
    uint8_t b[2];
    if (!readBytes(r, b, 2)) return false;
    *out = uint16_t(b[0] << 8 | b[1]);
    return true;
}

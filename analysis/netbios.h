// Host names learnt from the NetBIOS name service (IPv4 only).
#pragma once

#include <cstddef>
#include <cstdint>

// Parses one name-service message: NB queries make pending name records,
// positive answers with one address complete them.
void parseNetbiosMessage(const uint8_t* payload, uint32_t length);

// Decodes a first-level encoded NetBIOS label (`length` bytes) into `out`
// (at least 16 bytes): the name without its suffix byte, up to its first zero
// byte; empty for a label above 32 characters.
void decodeNetbiosName(const uint8_t* label, size_t length, char* out);

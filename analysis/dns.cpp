#include "analysis/dns.h"

#include <cstring>

#include "analysis/name_reader.h"
#include "analysis/netbios.h"
#include "analysis/table_index.h"
#include "analysis/text.h"

void readName(ByteReader& r, CollectedName& name, bool collect, NameStyle style) {
    uint8_t length;
    while (readU8(r, &length)) {
        if (length >= 0x40) { // compression pointer: 2 bytes, ends the name
            skipBytes(r, 1);
            return;
        }
        if (length == 0) return;
        if (length > remaining(r)) { // the label runs past the captured bytes
            skipBytes(r, length);
            return;
        }
        const uint8_t* label = r.bytes + r.position;
        skipBytes(r, length);
        if (!collect || name.length + length + 2 >= kNameSize) continue;
        if (style == NameStyle::Netbios && name.length == 0) {
            decodeNetbiosName(label, length, name.text);
        } else {
            if (name.length > 0) name.text[name.length++] = '.';
            std::memcpy(name.text + name.length, label, length);
            name.text[name.length + length] = '\0';
        }
        // A label may hold a NUL byte; the name is what its text says.
        name.length = uint32_t(strnlen(name.text, kNameSize - 1));
    }
}

void trimName(CollectedName& name) {
    trimTrailingSpaces(name.text);
    name.length = uint32_t(std::strlen(name.text));
}

template <class Address, int N, int M>
static bool nameKnownIn(const NameRecord<Address> (&table)[N], const NameIndex<M>& index,
                        const char* name) {
    uint32_t key = textKey(name);
    for (int i = findKey(index.nameKey, N, key, 0); i >= 0;
         i = findKey(index.nameKey, N, key, i + 1))
        if (std::strcmp(table[i].name, name) == 0) return true;
    return false;
}

bool nameKnown4(const char* name) {
    return nameKnownIn(nameTable4, nameIndex4, name);
}
bool nameKnown6(const char* name) {
    return nameKnownIn(nameTable6, nameIndex6, name);
}

template <class Address, int N, int M>
static void rememberNameIn(NameRecord<Address> (&table)[N], int32_t& next, NameIndex<M>& index,
                           const Address& address, const char* name) {
    const bool question = isZeroAddress(address);
    const uint32_t key = textKey(name);
    bool found = false;
    for (int i = findKey(index.nameKey, N, key, 0); i >= 0;
         i = findKey(index.nameKey, N, key, i + 1)) {
        NameRecord<Address>& record = table[i];
        if (std::strcmp(record.name, name) != 0) continue;
        if (question) {
            found = true;
            break; // a question changes no record
        }
        if (isZeroAddress(record.address)) {
            // The answer completes every pending record of the name.
            record.address = address;
            index.addressKey[i] = addressKey(address);
            found = true;
        } else if (sameAddress(record.address, address)) {
            found = true;
        }
    }
    if (std::strcmp(name, "*") == 0 || found) return;

    NameRecord<Address>& slot = table[next];
    slot.address = address;
    copyText(slot.name, name, kNameSize - 1);
    slot.noDot = std::strchr(slot.name, '.') ? 0 : 1;
    index.nameKey[next] = textKey(slot.name);
    index.addressKey[next] = addressKey(address);
    next = next + 1 == N ? 0 : next + 1;
}

void rememberName4(Address4 address, const char* name) {
    rememberNameIn(nameTable4, nameTable4Next, nameIndex4, address, name);
}
void rememberName6(const Address6& address, const char* name) {
    rememberNameIn(nameTable6, nameTable6Next, nameIndex6, address, name);
}

struct MessageHeader {
    bool isResponse;
    uint8_t resultCode;
    uint16_t questionCount;
    uint16_t answerCount;
};

// The 12-byte header shared by DNS, LLMNR and the NetBIOS name service.
static bool readMessageHeader(ByteReader& r, MessageHeader& header) {
    if (remaining(r) < 12) return false;
    uint16_t id = 0, flags = 0, authorityCount = 0, additionalCount = 0;
    readBe16(r, &id);
    readBe16(r, &flags);
    readBe16(r, &header.questionCount);
    readBe16(r, &header.answerCount);
    readBe16(r, &authorityCount);
    readBe16(r, &additionalCount);
    header.isResponse = (flags & 0x8000) != 0;
    header.resultCode = uint8_t(flags & 0x000F);
    return true;
}

// Reads the questions of a response; the first one's name is collected.
static void readQuestions(ByteReader& r, const MessageHeader& header, CollectedName& name,
                          NameStyle style) {
    for (uint32_t q = 0; q < header.questionCount && remaining(r) > 0; ++q) {
        readName(r, name, q == 0, style);
        skipBytes(r, 4); // type and class
    }
}

void parseDnsMessage(const uint8_t* payload, uint32_t length) {
    ByteReader r = byteReader(payload, length);
    MessageHeader header;
    if (!readMessageHeader(r, header)) return;
    CollectedName name{};

    if (!header.isResponse) {
        readName(r, name, true, NameStyle::Dns);
        uint16_t type;
        if (!readBe16(r, &type)) return;
        trimName(name);
        // Types 0 and above 28 count as neither A (1) nor AAAA (28).
        if (type == 1 && !nameKnown4(name.text)) {
            rememberName4(0, name.text);
        } else if (type == 28 && !nameKnown6(name.text)) {
            rememberName6(Address6{}, name.text);
        }
        return;
    }

    readQuestions(r, header, name, NameStyle::Dns);
    trimName(name);
    if (header.resultCode != 0) return; // the pending record stays pending

    // Only the first A or AAAA answer of the right length counts, filed under
    // the first question's name whatever its own owner name says.
    for (uint32_t a = 0; a < header.answerCount && remaining(r) > 0; ++a) {
        CollectedName owner{};
        readName(r, owner, false, NameStyle::Dns);
        uint16_t type, dataLength;
        if (!readBe16(r, &type) || !skipBytes(r, 6) || !readBe16(r, &dataLength)) return;
        if (type == 1 && dataLength == 4) {
            Address4 address;
            if (readBytes(r, &address, 4)) rememberName4(address, name.text);
            return;
        }
        if (type == 28 && dataLength == 16) {
            Address6 address;
            if (readBytes(r, address.bytes, 16)) rememberName6(address, name.text);
            return;
        }
        skipBytes(r, dataLength);
    }
}

void parseNetbiosMessage(const uint8_t* payload, uint32_t length) {
    ByteReader r = byteReader(payload, length);
    MessageHeader header;
    if (!readMessageHeader(r, header)) return;
    CollectedName name{};

    if (!header.isResponse) {
        readName(r, name, true, NameStyle::Netbios);
        uint16_t type;
        if (!readBe16(r, &type)) return;
        trimName(name);
        if (type == 32 && !nameKnown4(name.text)) rememberName4(0, name.text); // NB
        return;
    }

    readQuestions(r, header, name, NameStyle::Netbios);
    if (header.resultCode != 0) return;

    // Trailing spaces go only when an address is filed or a record of another
    // type is passed; an NB answer listing several addresses keeps them, and
    // without a question the next owner name is appended to the untrimmed name.
    for (uint32_t a = 0; a < header.answerCount && remaining(r) > 0; ++a) {
        // A plain answer without a question is filed under its own name.
        readName(r, name, header.questionCount == 0, NameStyle::Netbios);
        uint16_t type, dataLength;
        if (!readBe16(r, &type) || !skipBytes(r, 6)) return; // type, class, time to live
        if (type == 32 && remaining(r) < 8) return;
        if (!readBe16(r, &dataLength)) return;
        if (type == 32 && dataLength == 6) {
            // One entry: 2 bytes of name flags, then the address.
            Address4 address;
            trimName(name);
            if (skipBytes(r, 2) && readBytes(r, &address, 4)) rememberName4(address, name.text);
            return;
        }
        skipBytes(r, dataLength);
        if (type != 32) trimName(name);
    }
}

// The capture adapter's hardware address, from the IP Helper's adapter list.
#include "capture/capture_session_win.h"

#include <iphlpapi.h>
#include <winsock2.h>

#include <cstdlib>
#include <cstring>

#include "analysis/traffic_tables.h"

bool findLocalMacAddress() {
    if (captureIpv4Address == 0) return false; // an interface without IPv4 never matches
    constexpr ULONG kFamily = AF_INET;
    constexpr ULONG kFlags = GAA_FLAG_INCLUDE_PREFIX;
    ULONG size = 0; // the first call only learns the size needed
    GetAdaptersAddresses(kFamily, kFlags, nullptr, nullptr, &size);
    auto* adapters = static_cast<IP_ADAPTER_ADDRESSES*>(std::malloc(size ? size : 1));
    if (!adapters) return false;
    bool found = false;
    if (GetAdaptersAddresses(kFamily, kFlags, nullptr, adapters, &size) == NO_ERROR) {
        for (const IP_ADAPTER_ADDRESSES* a = adapters; a && !found; a = a->Next) {
            // only the first unicast address of each adapter is compared
            const IP_ADAPTER_UNICAST_ADDRESS* first = a->FirstUnicastAddress;
            if (!first || !first->Address.lpSockaddr ||
                first->Address.lpSockaddr->sa_family != AF_INET)
                continue;
            uint32_t address;
            std::memcpy(&address,
                        &reinterpret_cast<const sockaddr_in*>(first->Address.lpSockaddr)->sin_addr,
                        sizeof address);
            if (address != captureIpv4Address) continue;
            // six bytes, whatever the adapter's address length says
            setLocalMacAddress(a->PhysicalAddress);
            found = true;
        }
    }
    std::free(adapters);
    return found;
}

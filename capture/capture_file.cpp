#include "capture/capture_file.h"

#include <pcap/pcap.h>

bool forEachCaptureFrame(const char* path, const FrameSink& sink, std::string* error) {
    char pcapError[PCAP_ERRBUF_SIZE] = {};
    pcap_t* capture = pcap_open_offline(path, pcapError);
    if (!capture) {
        *error = std::string("cannot read ") + path + " as a capture file: " + pcapError;
        return false;
    }
    if (pcap_datalink(capture) != DLT_EN10MB) {
        const char* linkName = pcap_datalink_val_to_name(pcap_datalink(capture));
        *error = std::string(path) + ": link type " + (linkName ? linkName : "unknown") +
                 " is not Ethernet";
        pcap_close(capture);
        return false;
    }
    bool ok = true;
    for (;;) {
        pcap_pkthdr* header = nullptr;
        const u_char* bytes = nullptr;
        int result = pcap_next_ex(capture, &header, &bytes);
        if (result == 1) {
            sink(bytes, header->caplen);
        } else if (result == PCAP_ERROR_BREAK) {
            break; // end of file
        } else {
            *error = std::string(path) + ": damaged capture file: " + pcap_geterr(capture);
            ok = false;
            break;
        }
    }
    pcap_close(capture);
    return ok;
}

bool loadCaptureFrames(const char* path, std::vector<std::vector<uint8_t>>* frames,
                       std::string* error) {
    return forEachCaptureFrame(
        path,
        [frames](const uint8_t* frame, uint32_t length) {
            frames->emplace_back(frame, frame + length);
        },
        error);
}

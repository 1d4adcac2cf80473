// The process and endpoint snapshots go to the system unless a test set hooks.
#include <atomic>

#include "platform/platform.h"

namespace {

std::atomic<int (*)(ProcessEntry*, int)> processesHook{nullptr};
std::atomic<bool (*)(EndpointTable, std::vector<EndpointRow>*)> endpointsHook{nullptr};

} // namespace

void platformSetSnapshotHooks(const SnapshotHooks* hooks) {
    processesHook.store(hooks ? hooks->processes : nullptr);
    endpointsHook.store(hooks ? hooks->endpoints : nullptr);
}

int platformSnapshotProcesses(ProcessEntry* out, int capacity) {
    if (auto hook = processesHook.load()) return hook(out, capacity);
    return systemSnapshotProcesses(out, capacity);
}

bool platformEndpointTable(EndpointTable table, std::vector<EndpointRow>* rows) {
    if (auto hook = endpointsHook.load()) return hook(table, rows);
    return systemEndpointTable(table, rows);
}

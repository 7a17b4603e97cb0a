#pragma once

// How much memory this process can still take, so that a reader can refuse a file that would not
// fit instead of dying half-way through allocating for it.

#include <cstdint>
#include <optional>

namespace platform {

// What the system could still give this process: the memory the kernel reports available (plus
// free swap), or less where a resource limit of the process caps it. nullopt when the system
// does not say (no /proc), in which case callers go ahead and allocate.
std::optional<std::uint64_t> availableMemoryBytes();

} // namespace platform

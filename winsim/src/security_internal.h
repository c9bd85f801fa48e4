// Shared by the simulated security and file calls: security identifiers and descriptors in the
// platform's binary layout, made from and read into the file system's text form.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "winsim/files.h"

namespace winsim {

// The binary form of "S-1-5-..."; empty when the text is no identifier.
std::vector<BYTE> SidBytes(const std::string& text);
std::string SidText(const void* sid);
// A self-relative descriptor in a LocalAlloc block with the owner (when not null) and the
// access list (when not null), in that order.
void* MakeDescriptor(const std::string* owner, const std::vector<AccessEntry>* access,
                     bool accessProtected, size_t* size = nullptr);
// Reads a self-relative descriptor; false when it is not one. Leaves what it does not hold.
bool ReadDescriptor(const void* descriptor, std::string* owner, std::vector<AccessEntry>* access,
                    bool* accessProtected);

}  // namespace winsim

#pragma once
// The update server's archive, served at /halcyon/en-kestrel.hlz.
#include <string>

namespace targetsim {

constexpr const char* kUpdateArchiveTarget = "/halcyon/en-kestrel.hlz";

// en-kestrel.hlz beside the target-sim executable, where the build puts the
// sample archive.
std::string defaultUpdateArchive();
// The whole file; false when it cannot be read.
bool readUpdateArchive(const std::string& path, std::string& bytes);

} // namespace targetsim

#pragma once
// The update server's archive, served at /halcyon/en-kestrel.hlz, and its
// signature (the archive's file name + ".sig") at the same path + ".sig".
#include <cstdint>
#include <string>

namespace targetsim {

constexpr const char* kUpdateArchiveTarget = "/halcyon/en-kestrel.hlz";
constexpr const char* kUpdateSignatureTarget = "/halcyon/en-kestrel.hlz.sig";

// en-kestrel.hlz beside the target-sim executable, where the build puts the
// sample archive.
std::string defaultUpdateArchive();
// The whole file; false when it cannot be read.
bool readUpdateArchive(const std::string& path, std::string& bytes);

// A 200 answer announcing the whole archive but carrying only its first
// bytes: a server that goes silent in the middle of the download.
std::string stalledAnswer(const std::string& archive, uint64_t bytes);

} // namespace targetsim

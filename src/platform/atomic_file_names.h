// The temporary names a new file takes in its destination's folder where it cannot stay
// unnamed until it is complete, and the sweep of such names that killed runs left behind.
// Shared by the systems' implementations of AtomicFile.
#pragma once

#include <string>

namespace trelvane::platform::atomic_names {

inline constexpr int kNameAttempts = 100;

// "<destination>.tmp-<owner>-XXXXXX": the owner's tag lets a later run tell a name that a
// killed run left from one that a live run is still writing.
std::string temporary_name(const std::string& destination);

// The first file a run writes into a folder clears it of what killed runs left there.
void sweep_folder_once(const std::string& folder);

// The folder a path is in ("." for a bare name).
std::string folder_for(const std::string& path);

}  // namespace trelvane::platform::atomic_names

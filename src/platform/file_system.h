// Files and folders: existence, size, creation, removal, appending, times.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace trelvane::platform {

bool file_exists(const std::string& path);    // anything but a folder
bool folder_exists(const std::string& path);  // follows symbolic links

// Size in bytes of a readable regular file; nothing when it cannot be opened for reading. error,
// when given, gets the reason (0 when the path names something that is not a regular file).
std::optional<uint64_t> readable_file_size(const std::string& path, int* error = nullptr);

// Asks the system to start reading the file's first megabytes into memory and returns at once,
// so that a conversion started later finds them there instead of waiting for the disk. Does
// nothing for what is not a readable regular file.
void prefetch_file(const std::string& path);

// True when both paths name one existing file (the same path, a hard link or a symbolic link).
bool same_file(const std::string& a, const std::string& b);

// What a path names, following symbolic links (a dangling link is Missing).
enum class FileKind { Missing, Regular, Folder, Device, Fifo, Socket, Unknown };
FileKind file_kind(const std::string& path);
// "a folder", "a device", "a FIFO", "a socket" (for messages), or "a file".
const char* file_kind_name(FileKind kind);

// Where a symbolic link at path finally leads (a relative link taken from the link's folder),
// whether or not that exists; path itself when it is not a link.
std::string link_target(const std::string& path);

// True when the two paths name one place: one existing file (as same_file), or, where neither
// exists yet, the same names below one existing folder (the folders compared as files).
bool same_location(const std::string& a, const std::string& b);

// The folder a file is to go into, made (with every missing level) only for as long as that
// file needs it: when the claim ends, the levels this process made are removed again if they
// are still empty and no other claim of this process holds them. A PDF put in place keeps its
// folders (they are no longer empty), a failed one leaves no empty tree. Claims on several
// threads at once share levels safely: a level is never removed while another claim holds it,
// even if that claim's file has no name yet.
class FolderClaim {
  public:
    FolderClaim() = default;
    ~FolderClaim() { release(); }
    FolderClaim(const FolderClaim&) = delete;
    FolderClaim& operator=(const FolderClaim&) = delete;

    // Makes the folder exist. False, with the reason in error when given, when it cannot be
    // made; the levels made on the way are released again.
    bool claim(const std::string& folder, int* error = nullptr);
    void release();

  private:
    std::vector<std::string> levels_;  // the claimed levels, deepest first
};

// Permissions of new folders (as the umask allows); the user's own settings and state folders
// are private, as the XDG rules ask.
inline constexpr unsigned kDefaultFolderMode = 0777;
inline constexpr unsigned kPrivateFolderMode = 0700;

// Creates one folder level. True when the folder exists afterwards; error, when given, gets
// the reason otherwise.
bool create_folder(const std::string& path, int* error = nullptr,
                   unsigned mode = kDefaultFolderMode);

// Creates every missing level of the folder. True when it exists afterwards; error, when
// given, gets the reason the deepest level could not be made otherwise.
bool create_folder_chain(const std::string& path, int* error = nullptr,
                         unsigned mode = kDefaultFolderMode);

// Removes a folder that is empty; false (and nothing removed) otherwise.
bool remove_empty_folder(const std::string& path);

// Removes a file; a missing file is not an error. error, when given, gets the reason of a
// failure.
bool remove_file(const std::string& path, int* error = nullptr);

// Appends bytes with a single write to a file opened for appending (created when missing), so
// that records appended by two processes at once never interleave. error, when given, gets the
// reason of a failure.
bool append_to_file(const std::string& path, std::string_view bytes, int* error = nullptr);

// Reads a whole file of at most max_size bytes; nothing when it is missing, unreadable or
// larger. error, when given, gets the reason (EFBIG when larger, 0 for what is not a regular
// file).
std::optional<std::string> read_small_file(const std::string& path, size_t max_size,
                                           int* error = nullptr);

// Up to max_size bytes from the start of a regular file; nothing when it is not a readable
// regular file (a pipe or a device is never opened for reading, so this cannot block). error,
// when given, gets the reason (0 for what is not a regular file).
std::optional<std::string> read_file_start(const std::string& path, size_t max_size,
                                           int* error = nullptr);

// Replaces (or creates) the file with the bytes: written beside it under a temporary name and
// renamed over it, so a reader sees the old or the new content, never a part. An existing
// file's permissions are kept. error, when given, gets the reason of a failure.
bool replace_file_atomically(const std::string& path, std::string_view bytes, int* error = nullptr);

// A file's access and modification times, to nanoseconds since the epoch.
struct FileTimes {
    int64_t access_seconds = 0;
    int64_t access_nanoseconds = 0;
    int64_t modification_seconds = 0;
    int64_t modification_nanoseconds = 0;
};

// The file's times as they stand now; nothing when it cannot be reached. Reading a file may
// move its access time on, so callers that want to keep it take the times before reading.
// error, when given, gets the reason it cannot be reached.
std::optional<FileTimes> read_file_times(const std::string& path, int* error = nullptr);

// Sets the file's access and modification times. False when the file cannot be reached;
// error, when given, gets the reason.
bool set_file_times(const std::string& path, const FileTimes& times, int* error = nullptr);

// Gives the target the source's modification and access times. Creation time cannot be set on
// this system and is left alone. False when either file cannot be reached; error, when given,
// gets the reason.
bool copy_file_times(const std::string& source, const std::string& target, int* error = nullptr);

// Sixteen random hexadecimal digits, for names no other file has (each thread draws from a
// generator of its own, seeded per process).
std::string random_hex();

// Creates a new, empty file readable and writable only by its owner at `path`, only when no
// file (or link) has that name. False otherwise; error, when given, gets the reason (EEXIST
// when the name is taken).
bool create_new_private_file(const std::string& path, int* error = nullptr);

// Creates a new, empty file readable and writable only by its owner, named
// folder + stem + "-" + process id + "-" + random part + extension. The name is never shared
// with another process. Returns the path, or an empty text when no file could be created
// (error, when given, gets the reason).
std::string create_unique_file(const std::string& folder, const std::string& stem,
                               const std::string& extension, int* error = nullptr);

}  // namespace trelvane::platform

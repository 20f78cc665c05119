// Files by descriptor: the calls the conversion stages make on files they open by name, the
// same on every system. Descriptors are the C library's (binary mode on every system), so stdio
// and libtiff can take them over.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace trelvane::platform {

// Opens a regular file for reading. -1 otherwise, with the reason in *error (when given) and
// errno: EISDIR for a folder, 0 for anything else that is not a regular file (a pipe or a device
// is never opened for reading, so this cannot block).
int open_for_reading(const std::string& path, int* error = nullptr);

// Opens a file for writing, creating it when missing; emptied first unless `append`. -1 with
// the reason in *error otherwise.
int open_for_writing(const std::string& path, bool append, int* error = nullptr);

// Reads up to `size` bytes at `offset` (retried when a signal interrupts). The count read (0 at
// the end), or -1 with errno set. Where the file position is afterwards differs between systems,
// and on Windows two threads must not read one descriptor at once: do not mix with read_some on
// one descriptor, nor share it between threads.
int64_t read_at(int fd, void* buffer, size_t size, uint64_t offset);

// Reads from the file position; as read(2), retried when a signal interrupts.
int64_t read_some(int fd, void* buffer, size_t size);

// Writes every byte (completing short writes). False with errno set when a write fails.
bool write_all(int fd, std::string_view bytes);

// Puts the file's data on the disk. False with errno set when that fails.
bool sync_to_disk(int fd);

// Closes the descriptor; false with errno set when the close reported a late write error.
bool close_descriptor(int fd);

// What an open file is now.
struct DescriptorStatus {
    bool regular = false;
    uint64_t size = 0;
    int64_t modification_seconds = 0;
    int64_t modification_nanoseconds = 0;
};
std::optional<DescriptorStatus> descriptor_status(int fd, int* error = nullptr);

// A stdio stream on the file (mode as for fopen; always binary). nullptr with errno set when it
// cannot be opened.
std::FILE* open_stdio(const std::string& path, const char* mode);

// This process's number, as the system shows it.
long process_id();

}  // namespace trelvane::platform

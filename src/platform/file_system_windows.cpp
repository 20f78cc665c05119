#include "platform/file_system.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/file_io.h"
#include "platform/paths.h"
#include "platform/windows_calls.h"

namespace trelvane::platform {

using windows::Handle;
using windows::wide_path;

namespace {

void set_error(int* error, int value) {
    if (error != nullptr)
        *error = value;
}

// The attributes of what a path names (following links, as the system's calls do); nothing
// with the reason when it cannot be reached.
std::optional<WIN32_FILE_ATTRIBUTE_DATA> attributes_of(const std::string& path, int* error) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (path.empty()) {
        set_error(error, ENOENT);
        return std::nullopt;
    }
    if (!GetFileAttributesExW(wide_path(path).c_str(), GetFileExInfoStandard, &data)) {
        set_error(error, windows::last_errno());
        return std::nullopt;
    }
    set_error(error, 0);
    return data;
}

bool is_folder(const WIN32_FILE_ATTRIBUTE_DATA& data) {
    return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// True when the two open handles reach one file: the same volume and file number. The cheap
// facts (times, size, attributes) are compared first: one file has one set of them, so where
// they differ the files do, and the volume's serial number, which Wine takes a fifth of a
// millisecond to find, is asked for only where they agree.
bool same_identity(HANDLE a, HANDLE b) {
    FILE_BASIC_INFO basic_a{};
    FILE_BASIC_INFO basic_b{};
    FILE_STANDARD_INFO standard_a{};
    FILE_STANDARD_INFO standard_b{};
    if (!windows::basic_info(a, basic_a) || !windows::basic_info(b, basic_b) ||
        !windows::standard_info(a, standard_a) || !windows::standard_info(b, standard_b))
        return false;
    if (basic_a.CreationTime.QuadPart != basic_b.CreationTime.QuadPart ||
        basic_a.LastWriteTime.QuadPart != basic_b.LastWriteTime.QuadPart ||
        basic_a.FileAttributes != basic_b.FileAttributes ||
        standard_a.EndOfFile.QuadPart != standard_b.EndOfFile.QuadPart)
        return false;
    FILE_ID_INFO id_a{};
    FILE_ID_INFO id_b{};
    if (!GetFileInformationByHandleEx(a, FileIdInfo, &id_a, sizeof id_a) ||
        !GetFileInformationByHandleEx(b, FileIdInfo, &id_b, sizeof id_b))
        return false;
    return id_a.VolumeSerialNumber == id_b.VolumeSerialNumber &&
           std::memcmp(&id_a.FileId, &id_b.FileId, sizeof id_a.FileId) == 0;
}

}  // namespace

bool file_exists(const std::string& path) {
    const auto data = attributes_of(path, nullptr);
    return data && !is_folder(*data);
}

bool folder_exists(const std::string& path) {
    const auto data = attributes_of(path, nullptr);
    return data && is_folder(*data);
}

std::optional<uint64_t> readable_file_size(const std::string& path, int* error) {
    const int fd = open_for_reading(path, error);
    if (fd < 0)
        return std::nullopt;
    const std::optional<DescriptorStatus> status = descriptor_status(fd, error);
    close_descriptor(fd);
    if (!status)
        return std::nullopt;
    return status->size;
}

void prefetch_file(const std::string&) {
    // The system's cache manager reads ahead on sequential reads by itself.
}

bool same_file(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty())
        return false;
    const Handle file_a(windows::open_path(a, 0, OPEN_EXISTING, 0, nullptr));
    if (!file_a.valid())
        return false;
    const Handle file_b(windows::open_path(b, 0, OPEN_EXISTING, 0, nullptr));
    return file_b.valid() && same_identity(file_a.get(), file_b.get());
}

FileKind file_kind(const std::string& path) {
    int error = 0;
    const auto data = attributes_of(path, &error);
    if (!data)
        return error == ENOENT || path.empty() ? FileKind::Missing : FileKind::Unknown;
    if (is_folder(*data))
        return FileKind::Folder;
    // Devices (NUL, COM1) answer GetFileAttributesEx too; only a file on a disk is regular.
    Handle file(windows::open_path(path, 0, OPEN_EXISTING, 0, nullptr));
    if (file.valid() && GetFileType(file.get()) == FILE_TYPE_CHAR)
        return FileKind::Device;
    if (file.valid() && GetFileType(file.get()) == FILE_TYPE_PIPE)
        return FileKind::Fifo;
    return FileKind::Regular;
}

std::string link_target(const std::string& path) {
    // Links are followed by every call the program makes on a name; the name itself is the
    // one to compare.
    return path;
}

bool create_folder(const std::string& path, int* error, unsigned) {
    if (path.empty()) {
        set_error(error, ENOENT);
        return false;
    }
    if (CreateDirectoryW(wide_path(path).c_str(), nullptr)) {
        set_error(error, 0);
        return true;
    }
    const int reason = windows::last_errno();
    if (reason == EEXIST && folder_exists(path)) {
        set_error(error, 0);
        return true;
    }
    set_error(error, reason == EEXIST ? ENOTDIR : reason);
    return false;
}

bool remove_empty_folder(const std::string& path) {
    return RemoveDirectoryW(wide_path(path).c_str()) != 0;
}

bool remove_file(const std::string& path, int* error) {
    if (path.empty()) {
        set_error(error, ENOENT);
        return false;
    }
    if (DeleteFileW(wide_path(path).c_str())) {
        set_error(error, 0);
        return true;
    }
    const int reason = windows::last_errno();
    set_error(error, reason == ENOENT ? 0 : reason);
    return reason == ENOENT;
}

bool append_to_file(const std::string& path, std::string_view bytes, int* error) {
    // FILE_APPEND_DATA alone: the system places every write at the end of the file, so records
    // appended by two processes at once never interleave.
    int reason = 0;
    Handle file(windows::open_path(path, FILE_APPEND_DATA | SYNCHRONIZE, OPEN_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, &reason));
    if (!file.valid()) {
        set_error(error, reason);
        return false;
    }
    while (!bytes.empty()) {
        DWORD written = 0;
        if (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                       nullptr) ||
            written == 0) {
            set_error(error, written == 0 && GetLastError() == ERROR_SUCCESS
                                 ? ENOSPC
                                 : windows::last_errno());
            return false;
        }
        bytes.remove_prefix(written);
    }
    set_error(error, 0);
    return true;
}

bool replace_file_atomically(const std::string& path, std::string_view bytes, int* error) {
    std::string folder = folder_of(path);
    if (!folder.empty() && folder.back() != kPathSeparator)
        folder += kPathSeparator;
    const std::string temp = create_unique_file(folder, "." + name_of(path), ".new", error);
    if (temp.empty())
        return false;
    int reason = 0;
    const int fd = open_for_writing(temp, false, &reason);
    bool ok = fd >= 0;
    if (ok && !(write_all(fd, bytes) && sync_to_disk(fd))) {
        ok = false;
        reason = errno;
    }
    if (fd >= 0)
        close_descriptor(fd);
    if (ok && MoveFileExW(wide_path(temp).c_str(), wide_path(path).c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        set_error(error, 0);
        return true;
    }
    if (ok)
        reason = windows::last_errno();
    DeleteFileW(wide_path(temp).c_str());
    set_error(error, reason);
    return false;
}

std::optional<FileTimes> read_file_times(const std::string& path, int* error) {
    const auto data = attributes_of(path, error);
    if (!data)
        return std::nullopt;
    FileTimes times;
    windows::split_file_time(data->ftLastAccessTime, times.access_seconds,
                             times.access_nanoseconds);
    windows::split_file_time(data->ftLastWriteTime, times.modification_seconds,
                             times.modification_nanoseconds);
    return times;
}

bool set_file_times(const std::string& path, const FileTimes& times, int* error) {
    int reason = 0;
    Handle file(windows::open_path(path, FILE_WRITE_ATTRIBUTES, OPEN_EXISTING, 0, &reason));
    if (!file.valid()) {
        set_error(error, reason);
        return false;
    }
    const FILETIME access = windows::join_file_time(times.access_seconds, times.access_nanoseconds);
    const FILETIME modification =
        windows::join_file_time(times.modification_seconds, times.modification_nanoseconds);
    if (!SetFileTime(file.get(), nullptr, &access, &modification)) {
        set_error(error, windows::last_errno());
        return false;
    }
    set_error(error, 0);
    return true;
}

bool create_new_private_file(const std::string& path, int* error) {
    // Private by the folder's inherited access rules, as every file the user makes.
    Handle file(windows::open_path(path, GENERIC_WRITE, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, error));
    return file.valid();
}

}  // namespace trelvane::platform

#include "platform/paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#ifndef TRELVANE_INSTALL_FULL_BINDIR
#define TRELVANE_INSTALL_FULL_BINDIR "/usr/local/bin"
#endif

namespace trelvane::platform {

namespace {

// Where this build installs the program (CMake's install prefix and bindir).
constexpr const char* kInstallBinFolder = TRELVANE_INSTALL_FULL_BINDIR;
constexpr const char* kSystemLogFolder = "/var/log/trelvane";

}  // namespace

std::string program_file_path() {
    std::vector<char> buffer(4096);
    for (;;) {
        ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0)
            return {};
        if (static_cast<size_t>(n) < buffer.size())
            return std::string(buffer.data(), n);
        if (buffer.size() >= (1u << 20))
            return {};
        buffer.resize(buffer.size() * 2);
    }
}

std::string program_folder() {
    std::string file = program_file_path();
    if (file.empty()) {
        // Without /proc the current folder is the best guess for the portable layout.
        std::vector<char> cwd(4096);
        if (getcwd(cwd.data(), cwd.size()) == nullptr)
            return ".";
        return cwd.data();
    }
    return folder_of(file);
}

std::string temp_folder() {
    const char* dir = std::getenv("TMPDIR");
    std::string folder = (dir != nullptr && dir[0] == '/') ? dir : "/tmp";
    if (folder.back() != kPathSeparator)
        folder += kPathSeparator;
    return folder;
}

std::string work_files_text() {
    return "unnamed files in memory, or in $TMPDIR (else /tmp) for faxes over 2 MB,\n"
           "            gone when the program ends";
}

bool folder_is_writable(const std::string& folder) {
    return !folder.empty() && access(folder.c_str(), W_OK | X_OK) == 0;
}

namespace {

std::string home_folder() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/')
        return home;
    if (const passwd* pw = getpwuid(getuid()); pw != nullptr && pw->pw_dir != nullptr) {
        return pw->pw_dir;
    }
    return "/tmp";
}

// XDG base folders must be absolute; anything else is ignored, as the XDG rules say.
std::string xdg_folder(const char* variable, const char* fallback_below_home) {
    const char* value = std::getenv(variable);
    if (value != nullptr && value[0] == '/')
        return value;
    return home_folder() + fallback_below_home;
}

}  // namespace

bool is_installation_folder(const std::string& program_folder) {
    const std::string name = name_of(program_folder);
    if (name == "bin" || name == "sbin")
        return true;
    return !program_folder.empty() && program_folder == kInstallBinFolder;
}

UserFileLocations locate_user_files(const ProgramPlace& place) {
    UserFileLocations locations;
    if (place.folder_writable && !place.installed) {
        locations.settings_file = place.program_folder + kPathSeparator + "trelvane.ini";
        locations.log_file =
            place.program_folder + kPathSeparator + "log" + kPathSeparator + "tvnlog.txt";
        return locations;
    }
    locations.settings_file = xdg_folder("XDG_CONFIG_HOME", "/.config") + "/trelvane/trelvane.ini";
    if (place.superuser) {
        // /var/log exists on every system; the log creates its own folder below it.
        locations.log_file = std::string(kSystemLogFolder) + "/tvnlog.txt";
        return locations;
    }
    locations.log_parent_folder = xdg_folder("XDG_STATE_HOME", "/.local/state") + "/trelvane";
    locations.log_file = locations.log_parent_folder + "/log/tvnlog.txt";
    return locations;
}

std::string native_path(std::string path) {
    return path;
}

std::string portable_relative_path(std::string path) {
    return path;
}

bool running_as_superuser() {
    return geteuid() == 0;
}

std::string folder_of(const std::string& path) {
    size_t pos = path.rfind(kPathSeparator);
    if (pos == std::string::npos)
        return {};
    if (pos == 0)
        return std::string(1, kPathSeparator);
    return path.substr(0, pos);
}

std::string name_of(const std::string& path) {
    size_t pos = path.rfind(kPathSeparator);
    return pos == std::string::npos ? path : path.substr(pos + 1);
}

}  // namespace trelvane::platform

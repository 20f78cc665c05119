// Files that exist by name only while they are being written, and the lock that makes "put a
// finished file in place" one step that an interrupted run never cuts in half.
//
// Work files and a PDF's temporary file are normally unnamed (see WorkFile and AtomicFile), so
// nothing of them can outlive the process. Where the file system cannot hold unnamed files they
// get names; those names are registered here so that an interrupted run removes them.
#pragma once

#include <atomic>
#include <string>
#include <string_view>

namespace trelvane::platform {

// What a registered name stands for: one file, or the numbered files stem + "001.tif",
// "002.tif", ... (removed by the function given to set_numbered_files_remover).
enum class CleanupKind { File, NumberedFiles };

// Registers a path for removal on interruption for as long as the object lives (or until
// release). Registration never allocates, so a signal handler can walk the registry. Register
// a name before the file is created, so that no moment exists in which it is not watched.
class CleanupName {
  public:
    CleanupName() = default;
    explicit CleanupName(const std::string& path, CleanupKind kind = CleanupKind::File);
    ~CleanupName() { release(); }
    CleanupName(const CleanupName&) = delete;
    CleanupName& operator=(const CleanupName&) = delete;
    CleanupName(CleanupName&& other) noexcept : slot_(other.slot_) { other.slot_ = -1; }
    CleanupName& operator=(CleanupName&& other) noexcept;

    // Stops watching the path (the file was renamed into place or removed).
    void release();

  private:
    int slot_ = -1;
};

// The gate every finished file passes to be linked or renamed into place. An interrupted run
// closes it: a commit in progress completes, later ones are refused, so the run knows exactly
// which files it finished.
//
// begin_commit: false once the gate is closed; otherwise the caller holds the gate until
// end_commit, which says whether the file was put in place. Creating a named temporary file
// holds the gate too (end_commit(false) after it): once the gate is closed no new name can
// appear, so the removal after closing it misses none. A file put in place is told to the
// thread's conversion context (conversion_context.h).
bool begin_commit();
void end_commit(bool committed);
// Waits for a commit in progress and refuses every later one; the gate stays closed.
void close_commit_gate();

// For an interrupted run, just before it exits: closes the commit gate and removes the
// registered files.
void stop_commits_and_remove_registered_files();

// The same removal from inside a signal handler (no lock is taken).
void remove_registered_files_from_signal_handler();

// Removes the numbered files of a stem; must be safe in a signal handler.
void set_numbered_files_remover(void (*remover)(const char* stem));

// The part of a temporary name that says whose it is, "<host>-<pid>": the host as six hex
// digits of a hash of its name (a folder may be shared between machines), then the process.
const std::string& owner_tag();

// True when the tag (as owner_tag makes it) is of this host and its process is gone, so that
// its file can be nobody's any more.
bool owner_is_gone(std::string_view tag);

// Removes the regular files of the folder whose names owner_of reads an owner tag from (empty:
// not one of ours) and whose owner is gone: what a run killed outright (SIGKILL, a power cut)
// left of its temporary files. Failures are ignored; nothing else is touched.
void remove_stale_files(const std::string& folder,
                        std::string_view (*owner_of)(std::string_view name));

}  // namespace trelvane::platform

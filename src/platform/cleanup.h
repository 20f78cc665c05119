// Files that exist by name only while they are being written, and the lock that makes "put a
// finished file in place" one step that an interrupted run never cuts in half.
//
// Work files and a PDF's temporary file are normally unnamed (see WorkFile and AtomicFile), so
// nothing of them can outlive the process. Where the file system cannot hold unnamed files they
// get names; those names are registered here so that an interrupted run removes them.
#pragma once

#include <atomic>
#include <string>

namespace trelvane::platform {

// Registers a path for removal on interruption for as long as the object lives (or until
// release). Registration never allocates, so a signal handler can walk the registry.
class CleanupName {
  public:
    CleanupName() = default;
    explicit CleanupName(const std::string& path);
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
// end_commit, which says whether the file was put in place.
bool begin_commit();
void end_commit(bool committed);
// Waits for a commit in progress and refuses every later one; the gate stays closed.
void close_commit_gate();
// Every file this thread puts in place from now on sets *flag (nullptr: no more). A worker that
// reports what it converted watches its own commits this way.
void observe_commits(std::atomic<bool>* flag);

// For an interrupted run, just before it exits: closes the commit gate and removes the
// registered files.
void stop_commits_and_remove_registered_files();

// The same removal from inside a signal handler (no lock is taken).
void remove_registered_files_from_signal_handler();

}  // namespace trelvane::platform

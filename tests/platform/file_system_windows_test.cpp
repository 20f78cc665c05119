// The Windows implementation of the platform layer, run under Wine or on Windows: names in any
// script and beyond 260 characters, the atomic put-in-place, work files that vanish with their
// handle, and the system's errors told as errno values.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/directory.h"
#include "platform/file_io.h"
#include "platform/file_system.h"
#include "platform/paths.h"
#include "platform/work_file.h"

namespace trelvane::platform {
namespace {

// A private folder below the temporary folder, removed (with what the test left) at the end.
class Scratch {
  public:
    Scratch() {
        root_ = create_unique_file(temp_folder(), "tvn-windows-test", ".d");
        remove_file(root_);
        EXPECT_TRUE(create_folder(root_));
    }
    ~Scratch() { remove_tree(root_); }
    const std::string& root() const { return root_; }

  private:
    static void remove_tree(const std::string& folder) {
        for (const DirectoryEntry& entry : find_matching_entries(folder + "\\*")) {
            if (entry.name == "." || entry.name == "..")
                continue;
            const std::string path = folder + "\\" + entry.name;
            if (entry.is_folder)
                remove_tree(path);
            else
                remove_file(path);
        }
        remove_empty_folder(folder);
    }
    std::string root_;
};

bool write_atomically(const std::string& destination, const std::string& bytes) {
    AtomicFile file;
    return file.open(destination) && write_all(file.fd(), bytes) && file.commit();
}

std::vector<std::string> names_in(const std::string& folder) {
    std::vector<std::string> names;
    for (const DirectoryEntry& entry : find_matching_entries(folder + "\\*.*")) {
        if (entry.name != "." && entry.name != "..")
            names.push_back(entry.name);
    }
    return names;
}

TEST(WindowsPaths, SplitAsTheSystemDoes) {
    struct Case {
        const char* path;
        const char* folder;
        const char* name;
    };
    for (const Case& c : std::vector<Case>{
             {"C:\\faxes\\a.fxs", "C:\\faxes", "a.fxs"},
             {"C:\\a.fxs", "C:\\", "a.fxs"},
             {"C:a.fxs", "C:", "a.fxs"},
             {"\\\\server\\share\\in\\a.fxs", "\\\\server\\share\\in", "a.fxs"},
             {"\\\\server\\share\\a.fxs", "\\\\server\\share\\", "a.fxs"},
             {"faxes/sub\\a.fxs", "faxes/sub", "a.fxs"},
             {"a.fxs", "", "a.fxs"},
         }) {
        EXPECT_EQ(folder_of(c.path), c.folder) << c.path;
        EXPECT_EQ(name_of(c.path), c.name) << c.path;
    }
    EXPECT_EQ(native_path("C:/faxes/in"), "C:\\faxes\\in");
}

// Every name the user may have: other scripts than the code page's, and paths beyond the old
// 260-character limit.
TEST(WindowsFiles, AnyNameIsCreatedWrittenListedAndRemoved) {
    Scratch scratch;
    const std::string deep = scratch.root() + "\\" + std::string(120, 'd') + "\\" +
                             std::string(120, 'e') + "\\" + std::string(40, 'f');
    ASSERT_GT(deep.size(), 260u);
    for (const std::string& relative :
         {std::string("\xE4\xBC\xA0\xE7\x9C\x9F.fxs"),                               // 传真.fxs
          std::string("\xCE\x95\xCE\xBB\xCE\xBB\xCE\xAC\xCE\xB4\xCE\xB1\\fax.fxm"),  // Ελλάδα
          deep.substr(scratch.root().size() + 1) + "\\fax.fxd"}) {
        const std::string path = scratch.root() + "\\" + relative;
        SCOPED_TRACE(path);
        int error = -1;
        ASSERT_TRUE(create_folder_chain(folder_of(path), &error)) << error;
        ASSERT_TRUE(write_atomically(path, "fax bytes"));
        EXPECT_TRUE(file_exists(path));
        EXPECT_EQ(file_kind(path), FileKind::Regular);
        EXPECT_EQ(read_small_file(path, 100), "fax bytes");
        EXPECT_EQ(readable_file_size(path), 9u);
        const std::vector<std::string> listed = names_in(folder_of(path));
        EXPECT_EQ(listed, std::vector<std::string>{name_of(path)});

        FileTimes times;
        times.access_seconds = 1'000'000'000;
        times.modification_seconds = 946'684'800;  // 2000-01-01
        times.modification_nanoseconds = 123'456'700;
        ASSERT_TRUE(set_file_times(path, times));
        const std::optional<FileTimes> read = read_file_times(path);
        ASSERT_TRUE(read);
        EXPECT_EQ(read->modification_seconds, times.modification_seconds);
        EXPECT_EQ(read->modification_nanoseconds, times.modification_nanoseconds);

        EXPECT_TRUE(remove_file(path));
        EXPECT_FALSE(file_exists(path));
    }
}

TEST(WindowsFiles, PutInPlaceReplacesAFileKeepsAFolderAndLeavesNoTemporaryName) {
    Scratch scratch;
    const std::string pdf = scratch.root() + "\\a.pdf";
    ASSERT_TRUE(write_atomically(pdf, "old"));
    ASSERT_TRUE(write_atomically(pdf, "new"));
    EXPECT_EQ(read_small_file(pdf, 100), "new");

    const std::string folder = scratch.root() + "\\b.pdf";
    ASSERT_TRUE(create_folder(folder));
    AtomicFile file;
    ASSERT_TRUE(file.open(folder));
    ASSERT_TRUE(write_all(file.fd(), "never seen"));
    EXPECT_FALSE(file.commit());
    EXPECT_EQ(file.error(), EISDIR);
    EXPECT_TRUE(folder_exists(folder));

    {
        AtomicFile abandoned;  // discarded, never committed
        ASSERT_TRUE(abandoned.open(scratch.root() + "\\c.pdf"));
    }
    EXPECT_EQ(names_in(scratch.root()), (std::vector<std::string>{"a.pdf", "b.pdf"}));
}

TEST(WindowsFiles, WorkFileOpensByNameAndVanishesWithItsHandle) {
    Scratch scratch;
    std::string path;
    {
        WorkFile work;
        ASSERT_TRUE(work.create(scratch.root(), "tvnintif")) << work.error();
        path = work.path();
        // The stages open it again by name, for writing and then for reading.
        std::FILE* out = open_stdio(path, "wb");
        ASSERT_NE(out, nullptr) << errno;
        ASSERT_EQ(std::fwrite("page data", 1, 9, out), 9u);
        ASSERT_EQ(std::fclose(out), 0);
        const int in = open_for_reading(path);
        ASSERT_GE(in, 0);
        char bytes[16] = {};
        EXPECT_EQ(read_at(in, bytes, sizeof bytes, 5), 4);
        EXPECT_EQ(std::string(bytes, 4), "data");
        close_descriptor(in);
        work.clear();
        EXPECT_EQ(readable_file_size(path), 0u);
    }
    EXPECT_FALSE(file_exists(path));
}

TEST(WindowsFiles, SystemErrorsAreToldAsErrnoValues) {
    Scratch scratch;
    int error = 0;
    EXPECT_LT(open_for_reading(scratch.root() + "\\missing.fxs", &error), 0);
    EXPECT_EQ(error, ENOENT);
    EXPECT_LT(open_for_reading(scratch.root(), &error), 0);
    EXPECT_EQ(error, EISDIR);
    EXPECT_FALSE(create_folder(scratch.root() + "\\no\\such\\parent", &error));
    EXPECT_EQ(error, ENOENT);
    EXPECT_TRUE(remove_file(scratch.root() + "\\missing.pdf", &error));
    EXPECT_EQ(error, 0);
}

}  // namespace
}  // namespace trelvane::platform

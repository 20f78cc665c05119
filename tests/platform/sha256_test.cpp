// SHA-256 against FIPS 180-4's examples and sha256sum, fed in pieces of every size.
#include "platform/sha256.h"

#include <gtest/gtest.h>

#include <string>

#include "support/pdf_tools.h"
#include "support/temp_dir.h"

namespace trelvane::platform {
namespace {

std::string digest_in_pieces(const std::string& bytes, size_t piece) {
    Sha256 hash;
    for (size_t at = 0; at < bytes.size(); at += piece)
        hash.add(std::string_view(bytes).substr(at, piece));
    return hash.hex_digest();
}

TEST(Sha256, KnownDigestsWhateverThePieces) {
    struct Case {
        std::string bytes;
        std::string digest;
    };
    const Case cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const Case& c : cases) {
        for (size_t piece : {size_t{1}, size_t{55}, size_t{64}, size_t{65}, size_t{4096}}) {
            SCOPED_TRACE(std::to_string(c.bytes.size()) + " bytes in pieces of " +
                         std::to_string(piece));
            EXPECT_EQ(digest_in_pieces(c.bytes, std::max<size_t>(piece, 1)), c.digest);
        }
    }
}

TEST(Sha256, AgreesWithSha256sum) {
    testsupport::TempDir dir;
    std::string bytes;
    for (int i = 0; i < 100000; ++i)
        bytes += static_cast<char>((i * 7919) >> 3);
    ASSERT_TRUE(testsupport::write_file(dir.file("data"), bytes));
    const testsupport::ToolRun sum = testsupport::run_tool({"sha256sum", dir.file("data")});
    ASSERT_EQ(sum.exit_code, 0);
    EXPECT_EQ(digest_in_pieces(bytes, 777), sum.output.substr(0, 64));
}

}  // namespace
}  // namespace trelvane::platform

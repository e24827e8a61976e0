// The self-test's SHA-256 (the report's line on the vorpkg.exe tested),
// against the standard's test vectors, each fed whole and in uneven pieces
// across the 64-byte blocks.
#include "selftest/sha256.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Vector {
    const char* name;
    std::string message;
    const char* digest;
};

void PrintTo(const Vector& v, std::ostream* os) { *os << v.name; }

const Vector kVectors[] = {
    {"empty", "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
    {"abc", "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
    {"two_blocks_448_bits", "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
     "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
    {"896_bits",
     "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu",
     "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
    {"million_a", std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
};

class Sha256Vectors : public testing::TestWithParam<Vector> {};

TEST_P(Sha256Vectors, Digest) {
    const Vector& v = GetParam();
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(v.message.data());
    for (size_t piece : {v.message.size() + 1, size_t{1}, size_t{63}, size_t{65}}) {
        Sha256 sha;
        Sha256Start(&sha);
        for (size_t at = 0; at < v.message.size(); at += piece)
            Sha256Feed(&sha, bytes + at, std::min(piece, v.message.size() - at));
        char hex[65];
        Sha256Hex(&sha, hex);
        EXPECT_STREQ(hex, v.digest) << "fed in pieces of " << piece;
    }
}

INSTANTIATE_TEST_SUITE_P(Standard, Sha256Vectors, testing::ValuesIn(kVectors),
                         [](const testing::TestParamInfo<Vector>& i) { return i.param.name; });

}  // namespace

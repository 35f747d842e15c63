// The checksums catalogues compare, against the published test vectors.
#include "files/digest.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(Digest, PublishedVectors)
{
    const struct {
        std::string Text;
        std::string Crc32, Sha1;
    } cases[] = {
        {"", "00000000", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
        {"123456789", "cbf43926", "f7c3bc1d808e04732adf679965ccc34ca7ae3441"},
        {"abc", "352441c2", "a9993e364706816aba3e25717850c26c9cd0d89d"},
        // 56 bytes: the padding takes a second block.
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", "171a3f5f",
         "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
    };
    for (const auto& c : cases) {
        const std::vector<uint8_t> bytes(c.Text.begin(), c.Text.end());
        EXPECT_EQ(Crc32Hex(bytes), c.Crc32) << c.Text;
        EXPECT_EQ(Sha1Hex(bytes), c.Sha1) << c.Text;
    }
}

}  // namespace

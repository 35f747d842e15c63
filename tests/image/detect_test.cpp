#include "image/detect.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "support/images.h"

namespace {

int Zx81(const std::vector<uint8_t>& image)
{
    return DoesFileLookLikeZx81(image.data(), static_cast<int>(image.size()));
}

int Zx80(const std::vector<uint8_t>& image)
{
    return DoesFileLookLikeZx80(image.data(), static_cast<int>(image.size()));
}

// The smallest ZX81 image: the system variables alone, E_LINE = 0x407D.
std::vector<uint8_t> SystemVariablesOnly()
{
    std::vector<uint8_t> image(116, 0x11);
    image[0] = 0;
    image[11] = 0x7D;
    image[12] = 0x40;
    image[115] = 0x80;
    return image;
}

TEST(DoesFileLookLikeZx81, SystemVariablesOnlyImage)
{
    std::vector<uint8_t> image = SystemVariablesOnly();
    EXPECT_EQ(Zx81(image), 1);
    image[0] = 1;
    EXPECT_EQ(Zx81(image), 0);
    EXPECT_EQ(Zx80(image), 0);  // its bytes 10-11 give an E_LINE far beyond the data
}

TEST(DoesFileLookLikeZx81, ELineAtTheEndOrInsideTheData)
{
    std::vector<uint8_t> image = SystemVariablesOnly();
    image.push_back(0x76);  // a stray byte after E_LINE is allowed
    EXPECT_EQ(Zx81(image), 1);
    // E_LINE one past the end of the data: not recognised, and the marker is not looked at.
    image = SystemVariablesOnly();
    image[11] = 0x7E;
    EXPECT_EQ(Zx81(image), 0);
}

TEST(DoesFileLookLikeZx8x, EndMarkerMustBeExactly0x80)
{
    for (const int marker : {0x00, 0x7F, 0x81, 0xC0, 0xFF}) {
        SCOPED_TRACE(marker);
        std::vector<uint8_t> image = SystemVariablesOnly();
        image[115] = static_cast<uint8_t>(marker);
        EXPECT_EQ(Zx81(image), 0);
        image = Zx80Image(300, 1);
        image.back() = static_cast<uint8_t>(marker);
        EXPECT_EQ(Zx80(image), 0);
    }
    // All 0xFF: E_LINE 0xFFFF lies inside the data, but the byte before it is no end marker.
    const std::vector<uint8_t> all_ff(65544, 0xFF);
    EXPECT_EQ(Zx81(all_ff), 0);
    EXPECT_EQ(Zx80(all_ff), 0);
}

TEST(DoesFileLookLikeZx81, ELineIsLittleEndianAndUnsigned)
{
    // 0x40FF: a low byte above 127 must not turn negative. 0x40FF - 0x4009 = 246 bytes.
    std::vector<uint8_t> image(246, 0x22);
    image[0] = 0;
    image[11] = 0xFF;
    image[12] = 0x40;
    image[245] = 0x80;
    EXPECT_EQ(Zx81(image), 1);
}

TEST(DoesFileLookLikeZx80, MadeUpImagesOfManySizes)
{
    for (const size_t size : {40u, 41u, 500u, 16000u}) {
        SCOPED_TRACE(size);
        const std::vector<uint8_t> zx80 = Zx80Image(size, static_cast<uint32_t>(size));
        EXPECT_EQ(Zx80(zx80), 1);
        EXPECT_EQ(Zx81(zx80), 0);
        const std::vector<uint8_t> zx81 = Zx81Image(size + 116, static_cast<uint32_t>(size));
        EXPECT_EQ(Zx81(zx81), 1);
    }
}

TEST(DoesFileLookLikeZx80, ImageCanPassBothTests)
{
    // The driver asks the ZX81 test first.
    const std::vector<uint8_t> image = ImagePassingBothTests();
    EXPECT_EQ(Zx81(image), 1);
    EXPECT_EQ(Zx80(image), 1);
}

TEST(DoesFileLookLikeZx8x, ShortImagesAreNeverReadBeyondTheirEnd)
{
    // Each image sits in a heap block of exactly its size, so a read past it is caught by the
    // address sanitizer. Every byte is 0x80, the most tempting marker.
    for (int size = 0; size <= 13; ++size) {
        SCOPED_TRACE(size);
        std::unique_ptr<uint8_t[]> image(new uint8_t[static_cast<size_t>(size)]);
        for (int i = 0; i < size; ++i) image[static_cast<size_t>(i)] = 0x80;
        if (size < 13) {
            EXPECT_EQ(DoesFileLookLikeZx81(image.get(), size), 0);
        }
        if (size < 12) {
            EXPECT_EQ(DoesFileLookLikeZx80(image.get(), size), 0);
        }
        DoesFileLookLikeZx81(image.get(), size);
        DoesFileLookLikeZx80(image.get(), size);
    }
}

TEST(DoesFileLookLikeZx8x, ELineAtOrBelowTheStartAddressIsNotRecognised)
{
    // The end marker would lie before the image's first byte. Every other byte is 0x80.
    auto with_e_line = [](size_t at, int e_line) {
        std::vector<uint8_t> image(120, 0x80);
        image[0] = 0;
        image[at] = static_cast<uint8_t>(e_line & 0xFF);
        image[at + 1] = static_cast<uint8_t>(e_line >> 8);
        return image;
    };
    for (const int e_line : {0x0000, 0x3FFF, 0x4000, 0x4008, 0x4009}) {
        SCOPED_TRACE(e_line);
        EXPECT_EQ(Zx81(with_e_line(11, e_line)), 0);
        if (e_line <= 0x4000) {
            EXPECT_EQ(Zx80(with_e_line(10, e_line)), 0);
        }
    }
}

}  // namespace

#include "core/sha256.hpp"

#include <gtest/gtest.h>

#include <string>

namespace corvane {
namespace {

std::string Hex(const std::string& ascii) {
    return Sha256Hex(reinterpret_cast<const uint8_t*>(ascii.data()), ascii.size());
}

TEST(Sha256, Fips180Vectors) {
    EXPECT_EQ(Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(Hex("abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu"),
              "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1");
    EXPECT_EQ(Hex(std::string(1000000, 'a')), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(Sha256, PaddingBoundaries) {
    // 55, 56 and 64 bytes put the length into the same or the next block.
    EXPECT_EQ(Hex(std::string(55, 'a')), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318");
    EXPECT_EQ(Hex(std::string(56, 'a')), "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a");
    EXPECT_EQ(Hex(std::string(64, 'a')), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb");
}

TEST(Sha256, TextUsesLowByteOfEachUnit) {
    const CSHA256 sha;
    EXPECT_EQ(sha.SHA256(u""), Hex(""));
    EXPECT_EQ(sha.SHA256(u"abc"), Hex("abc"));
    EXPECT_EQ(sha.SHA256(u"\u0100"), sha.SHA256(std::u16string(1, u'\0')));
    EXPECT_EQ(sha.SHA256(u"\u01E9"), sha.SHA256(u"\u00E9"));
    // A surrogate pair contributes two bytes, one per unit.
    EXPECT_EQ(sha.SHA256(u"\U0001F600"), Hex(std::string("\x3d\0", 2)));
}

TEST(Sha256, OutputIsLowercaseHex) {
    const std::string d = CSHA256().SHA256(u"Corvane \u00FC\u20AC");
    ASSERT_EQ(d.size(), 64u);
    for (char c : d) EXPECT_TRUE((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')) << c;
}

}  // namespace
}  // namespace corvane

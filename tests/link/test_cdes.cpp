#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "link/CDES.h"

namespace vorn {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes FromHex(const std::string& hex) {
    Bytes out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        out.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return out;
}

Bytes Pattern(size_t n) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(7 * i + 3);
    return b;
}

struct Vector {
    std::string key;
    size_t length;
    Bytes expected;
};

// Vectors made with OpenSSL (tests/link/data/make_cdes_vectors.sh).
std::vector<Vector> LoadVectors() {
    std::ifstream in(VORN_SOURCE_DIR "/tests/link/data/cdes_vectors.txt");
    std::vector<Vector> out;
    std::string keyHex, cipherHex;
    size_t n;
    while (in >> keyHex >> n >> cipherHex) {
        const Bytes key = keyHex == "-" ? Bytes{} : FromHex(keyHex);
        out.push_back({std::string(key.begin(), key.end()), n, FromHex(cipherHex)});
    }
    return out;
}

TEST(CDES, MatchesOpenSslVectors) {
    const std::vector<Vector> vectors = LoadVectors();
    ASSERT_EQ(vectors.size(), 24u);
    for (const Vector& v : vectors) {
        SCOPED_TRACE("key '" + v.key + "' length " + std::to_string(v.length));
        const Bytes plain = Pattern(v.length);
        ASSERT_EQ(CDES::EncodedSize(v.length), v.expected.size());
        Bytes out(v.expected.size() + 8, 0xEE);  // guard bytes must stay untouched
        ASSERT_TRUE(CDES::enc(v.key, plain.data(), plain.size(), out.data()));
        EXPECT_EQ(Bytes(out.begin(), out.begin() + static_cast<long>(v.expected.size())), v.expected);
        EXPECT_EQ(Bytes(out.end() - 8, out.end()), Bytes(8, 0xEE));

        Bytes back(v.expected.size() - 2 + 1, 0xEE);
        size_t n = 12345;
        ASSERT_TRUE(CDES::dec(v.key, v.expected.data(), v.expected.size(), back.data(), &n));
        EXPECT_EQ(n, v.length);
        EXPECT_EQ(Bytes(back.begin(), back.begin() + static_cast<long>(n)), plain);
        // Padding deciphers to zero bytes; nothing is written past len - 2.
        for (size_t i = n; i < v.expected.size() - 2; ++i) EXPECT_EQ(back[i], 0) << i;
        EXPECT_EQ(back.back(), 0xEE);
    }
}

TEST(CDES, DecipherRefusesLengthsNotTwoModEight) {
    const Bytes data(32, 0x5A);
    Bytes out(32);
    size_t n = 0;
    for (size_t len : {0, 1, 3, 8, 9, 16, 17, 25}) {
        EXPECT_FALSE(CDES::dec(kLinkKey, data.data(), len, out.data(), &n)) << len;
    }
    for (size_t len : {2, 10, 18, 26}) {
        EXPECT_TRUE(CDES::dec(kLinkKey, data.data(), len, out.data(), &n)) << len;
        EXPECT_EQ(n, 0x5A5Au);  // the stored length, whatever it claims
    }
}

TEST(CDES, EncipherRefusesMoreThanSixtyFourKilobytes) {
    Bytes big(0x10000), out(CDES::EncodedSize(0x10000));
    EXPECT_FALSE(CDES::enc(kLinkKey, big.data(), big.size(), out.data()));
    EXPECT_TRUE(CDES::enc(kLinkKey, big.data(), 0xFFFF, out.data()));
    EXPECT_EQ(out[0], 0xFF);
    EXPECT_EQ(out[1], 0xFF);
}

TEST(CDES, FoldKey) {
    const struct {
        std::string key;
        Bytes folded;
    } cases[] = {
        {"", Bytes(8, 0)},
        {"abc", {'a', 'b', 'c', 0, 0, 0, 0, 0}},
        {"ABCDEFGH", {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H'}},
        // 10 characters: 0-7 XOR (8, 9, 0, 0, 0, 0, 0, 0)
        {"wexkorplin", {'w' ^ 'i', 'e' ^ 'n', 'x', 'k', 'o', 'r', 'p', 'l'}},
        // Two full chunks cancel out; the 17th character lands in byte 0.
        {"abcdefghabcdefghZ", {'Z', 0, 0, 0, 0, 0, 0, 0}},
        {std::string("\x01\x02\x03\x04\x05\x06\x07\x08\x10\x20\x30\x40\x50\x60\x70\x80", 16),
         {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}},
    };
    for (const auto& c : cases) {
        std::uint8_t out[8];
        std::fill(out, out + 8, 0xCC);
        CDES::FoldKey(c.key, out);
        EXPECT_EQ(Bytes(out, out + 8), c.folded) << c.key;
    }
}

TEST(CDES, KeysOfTheSameFoldEncipherAlike) {
    // "wexkorplin" and its folded bytes are the same DES key.
    std::uint8_t folded[8];
    CDES::FoldKey(kLinkKey, folded);
    const std::string asKey(reinterpret_cast<char*>(folded), 8);
    const Bytes plain = Pattern(40);
    Bytes a(CDES::EncodedSize(40)), b(a.size());
    CDES::enc(kLinkKey, plain.data(), plain.size(), a.data());
    CDES::enc(asKey, plain.data(), plain.size(), b.data());
    EXPECT_EQ(a, b);
    CDES::enc("wexkorplio", plain.data(), plain.size(), b.data());
    EXPECT_NE(a, b);
}

TEST(StoredPassword, RoundTrip) {
    for (const std::string& pw : {std::string(""), std::string("admin"), std::string("p:a\ns\"w d"),
                                  std::string("\xe5\xaf\x86\xe7\xa0\x81"), std::string(1000, 'x')}) {
        const std::string hex = EncodeStoredPassword(pw);
        ASSERT_FALSE(hex.empty());
        std::string back = "junk";
        ASSERT_TRUE(DecodeStoredPassword(hex, back)) << pw;
        EXPECT_EQ(back, pw);
    }
}

TEST(StoredPassword, EmptyPasswordIsThirtySixUpperCaseHexDigits) {
    const std::string hex = EncodeStoredPassword("");
    ASSERT_EQ(hex.size(), 36u);  // 2 + 16 bytes for "EMPTY-PASSWORD-"
    for (char c : hex) EXPECT_TRUE((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')) << hex;
    EXPECT_EQ(hex.substr(0, 4), "0F00");
    // Lower-case digits are read too.
    std::string lower = hex;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::string pw = "junk";
    EXPECT_TRUE(DecodeStoredPassword(lower, pw));
    EXPECT_EQ(pw, "");
}

TEST(StoredPassword, GarbageIsRefused) {
    const std::string good = EncodeStoredPassword("secret");
    // The marker missing: a value enciphered from other text.
    Bytes other(CDES::EncodedSize(20));
    CDES::enc(kLinkKey, "NOT-A-PASSWORD-text!", 20, other.data());
    std::string otherHex;
    for (std::uint8_t b : other) otherHex += "0123456789ABCDEF"[b >> 4], otherHex += "0123456789ABCDEF"[b & 15];
    std::string longer = good;
    longer[0] = 'F';  // stated length beyond the deciphered bytes
    longer[1] = 'F';
    const std::string cases[] = {
        "", "0", "00", "0000", good.substr(0, good.size() - 1), good.substr(0, good.size() - 2),
        good + "00", "ZZ" + good.substr(2), good.substr(0, 10) + " " + good.substr(11),
        otherHex, longer, "plain text password",
    };
    for (const std::string& c : cases) {
        std::string pw = "junk";
        EXPECT_FALSE(DecodeStoredPassword(c, pw)) << '"' << c << '"';
        EXPECT_EQ(pw, "");
    }
}

}  // namespace
}  // namespace vorn

#include "test_util.h"
#include "vorn_zlib.h"

#include <gtest/gtest.h>

namespace {
std::string sample(size_t n) {
    std::string s;
    for (size_t i = 0; s.size() < n; ++i)
        s += "line " + std::to_string(i) + Sjis(" 名無しさん<>sage<>本文です\n");
    s.resize(n);
    return s;
}
} // namespace

TEST(Gzip, HeaderSizeAtEverySplit) {
    // A header with every optional part: extra field, name, comment and header CRC.
    std::string header = std::string("\x1f\x8b\x08\x1e\0\0\0\0\0\x03", 10);
    header += std::string("\x04\0abcd", 6);
    header += std::string("name.dat\0", 9);
    header += std::string("comment\0", 8);
    header += std::string("\x12\x34", 2);
    std::string data = header + "payload";
    for (size_t cut = 0; cut < header.size(); ++cut)
        EXPECT_EQ(CVornGzip::GetHeaderSize(data.data(), cut), CVornGzip::HEADER_NEED_MORE) << cut;
    for (size_t cut = header.size(); cut <= data.size(); ++cut)
        EXPECT_EQ(CVornGzip::GetHeaderSize(data.data(), cut), static_cast<int>(header.size()));
    EXPECT_EQ(CVornGzip::GetHeaderSize("\x1f\x8b\x08\0\0\0\0\0\0\x03", 10), 10);
    EXPECT_EQ(CVornGzip::GetHeaderSize("<html>", 6), CVornGzip::HEADER_INVALID);
    EXPECT_EQ(CVornGzip::GetHeaderSize("\x1f\x8b\x07", 3), CVornGzip::HEADER_INVALID);
    EXPECT_EQ(CVornGzip::GetHeaderSize("\x1f", 1), CVornGzip::HEADER_NEED_MORE);
}

TEST(Inflate, ZlibRawAndGzipInOneByteSteps) {
    std::string plain = sample(20000);
    for (int type :
         {CVornInflateCore::TYPE_ZLIB, CVornInflateCore::TYPE_RAW, CVornInflateCore::TYPE_GZIP}) {
        std::string packed;
        ASSERT_EQ(CVornDeflate::Compress(plain, packed, type), 1);
        CVornInflateCore inf(type);
        CVornBinary out;
        int r = CVornInflateCore::RESULT_MORE;
        for (size_t i = 0; i < packed.size(); ++i) {
            r = inf.Inflate(packed.data() + i, 1, out);
            ASSERT_NE(r, CVornInflateCore::RESULT_ERROR) << type << " at " << i;
        }
        EXPECT_EQ(r, CVornInflateCore::RESULT_END);
        EXPECT_EQ(out.view(), plain);
    }
}

TEST(Inflate, GzipBodyAfterHeaderWithRawInflater) {
    std::string plain = sample(5000);
    std::string gz;
    ASSERT_EQ(CVornDeflate::Compress(plain, gz, CVornInflateCore::TYPE_GZIP), 1);
    int h = CVornGzip::GetHeaderSize(gz.data(), gz.size());
    ASSERT_EQ(h, 10);
    CVornInflate2 raw;
    CVornBinary out;
    EXPECT_EQ(raw.Inflate(gz.data() + h, gz.size() - static_cast<size_t>(h), out),
              CVornInflateCore::RESULT_END); // the trailer after the stream is ignored
    EXPECT_EQ(out.view(), plain);
}

TEST(Inflate, CorruptTruncatedAndBombs) {
    std::string plain = sample(10000);
    std::string packed;
    CVornDeflate::Compress(plain, packed, CVornInflateCore::TYPE_ZLIB);
    std::string corrupt = packed;
    corrupt[5] ^= 0x55;
    corrupt[6] ^= 0x55;
    CVornInflate a;
    CVornBinary out;
    int r = a.Inflate(corrupt.data(), corrupt.size(), out);
    EXPECT_NE(r, CVornInflateCore::RESULT_END);

    CVornInflate b;
    out.Clear();
    EXPECT_EQ(b.Inflate(packed.data(), packed.size() / 2, out), CVornInflateCore::RESULT_MORE);
    EXPECT_FALSE(b.Finished());

    // 64 MB of zeros compress to about 64 KB; the limit stops it early.
    std::string zeros(64 << 20, '\0');
    std::string bomb;
    CVornDeflate::Compress(zeros, bomb, CVornInflateCore::TYPE_ZLIB, 9);
    zeros.clear();
    zeros.shrink_to_fit();
    CVornInflate c;
    c.SetOutputLimit(1 << 20);
    out.Clear();
    EXPECT_EQ(c.Inflate(bomb.data(), bomb.size(), out), CVornInflateCore::RESULT_ERROR);
    EXPECT_LE(out.size(), static_cast<size_t>(1 << 20));
}

TEST(Gzip, DecompressMembersAndDamage) {
    std::string a = sample(3000), b = sample(500);
    std::string ga, gb;
    CVornDeflate::Compress(a, ga, CVornInflateCore::TYPE_GZIP);
    CVornDeflate::Compress(b, gb, CVornInflateCore::TYPE_GZIP);
    std::string out;
    ASSERT_EQ(CVornGzip::Decompress(ga + gb, out), 1);
    EXPECT_EQ(out, a + b);
    EXPECT_EQ(CVornGzip::Decompress(ga.substr(0, ga.size() - 4), out), 0);
    EXPECT_EQ(CVornGzip::Decompress("not gzip", out), 0);
    EXPECT_EQ(CVornGzip::Decompress(ga, out, 100), 0);
}

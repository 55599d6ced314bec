#include "files/dcf_archive.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "files/temp_dir.h"

namespace {

using Kind = CDcfArchive::FailureKind;

std::string Bytes(std::initializer_list<int> b) {
    std::string s;
    for (int x : b)
        s.push_back(static_cast<char>(x));
    return s;
}

template <typename F>
Kind FailureOf(F&& f) {
    try {
        f();
    } catch (const CDcfArchive::Failure& e) {
        return e.Kind();
    }
    ADD_FAILURE() << "no archive failure";
    return Kind::Generic;
}

// One record written with the exchange calls, so the same code serves both directions.
struct Record {
    int32_t number = 0;
    uint8_t flag = 0;
    std::string text;
    std::array<uint8_t, 4> address{};
    uint8_t mask[4] = {};

    void Exchange(CDcfArchive& ar) {
        ar.Int32(number);
        ar.Byte(flag);
        ar.Text(text);
        ar.Address(address);
        ar.Address(mask);
    }
};

TEST(DcfArchive, ExchangeWritesTheLayoutAndReadsItBack) {
    Record out{-2, 7, "AB", {10, 1, 2, 3}, {255, 255, 0, 0}};
    auto store = CDcfArchive::ForStoring();
    EXPECT_TRUE(store.IsStoring());
    out.Exchange(store);
    EXPECT_EQ(store.Bytes(),
              Bytes({0xFE, 0xFF, 0xFF, 0xFF, 7, 2, 'A', 'B', 10, 1, 2, 3, 255, 255, 0, 0}));

    Record in;
    auto load = CDcfArchive::ForLoading(store.Bytes());
    EXPECT_TRUE(load.IsLoading());
    in.Exchange(load);
    EXPECT_EQ(in.number, -2);
    EXPECT_EQ(in.flag, 7);
    EXPECT_EQ(in.text, "AB");
    EXPECT_EQ(in.address, (std::array<uint8_t, 4>{10, 1, 2, 3}));
    EXPECT_EQ(in.mask[0], 255);
    EXPECT_EQ(in.mask[3], 0);
    EXPECT_EQ(FailureOf([&] { load.ReadByte(); }), Kind::EndOfFile);
}

TEST(DcfArchive, TextLengthPrefixes) {
    struct Case {
        size_t length;
        std::string prefix;
    } cases[] = {
        {0, Bytes({0})},
        {254, Bytes({0xFE})},
        {255, Bytes({0xFF, 0xFF, 0x00})},
        {65533, Bytes({0xFF, 0xFD, 0xFF})},
        // 0xFFFE and 0xFFFF are marks, so these go to the 32-bit form.
        {65534, Bytes({0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00})},
        {65535, Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00})},
        {70000, Bytes({0xFF, 0xFF, 0xFF, 0x70, 0x11, 0x01, 0x00})},
    };
    for (const auto& c : cases) {
        std::string text(c.length, 'x');
        auto store = CDcfArchive::ForStoring();
        store.WriteText(text);
        ASSERT_EQ(store.Bytes().size(), c.prefix.size() + c.length) << c.length;
        EXPECT_EQ(store.Bytes().substr(0, c.prefix.size()), c.prefix) << c.length;
        auto load = CDcfArchive::ForLoading(store.Bytes());
        EXPECT_EQ(load.ReadText(), text) << c.length;
    }
}

TEST(DcfArchive, WideTextKeepsLatin1AndMarksTheRest) {
    struct Case {
        std::string bytes, text;
    } cases[] = {
        {Bytes({0xFF, 0xFE, 0xFF, 3, 'A', 0, 0xE9, 0, 0x00, 0x01}), "A\xE9?"},
        {Bytes({0xFF, 0xFE, 0xFF, 0, 'x'}), ""},
        // The real length in its 16-bit form.
        {Bytes({0xFF, 0xFE, 0xFF, 0xFF, 0x00, 0x01}) +
             [] {
                 std::string s;
                 for (int i = 0; i < 256; ++i)
                     s += "z\x20";
                 return s;
             }(),
         std::string(256, '?')},
    };
    for (const auto& c : cases) {
        auto load = CDcfArchive::ForLoading(c.bytes);
        EXPECT_EQ(load.ReadText(), c.text);
    }
}

TEST(DcfArchive, ReadsPastTheEndFail) {
    struct Case {
        std::string bytes;
        bool text;
    } cases[] = {
        {"", false},
        {Bytes({1, 2, 3}), false},  // a short int32
        {"", true},
        {Bytes({5, 'a', 'b'}), true},                                    // shorter than its count
        {Bytes({0xFF, 0x10}), true},                                     // a cut 16-bit length
        {Bytes({0xFF, 0xFF, 0xFF, 0xF0, 0xFF, 0xFF, 0xFF, 'a'}), true},  // claims 4 GB
        {Bytes({0xFF, 0xFE, 0xFF, 2, 'a', 0, 'b'}), true},               // a cut wide text
    };
    for (const auto& c : cases) {
        auto load = CDcfArchive::ForLoading(c.bytes);
        EXPECT_EQ(FailureOf([&] {
                      if (c.text)
                          load.ReadText();
                      else
                          load.ReadInt32();
                  }),
                  Kind::EndOfFile)
            << c.bytes.size();
    }
}

TEST(DcfArchive, UsingTheWrongDirectionIsAFailure) {
    auto store = CDcfArchive::ForStoring();
    EXPECT_EQ(FailureOf([&] { store.ReadInt32(); }), Kind::WriteOnly);
    EXPECT_EQ(FailureOf([&] { store.ReadText(); }), Kind::WriteOnly);
    auto load = CDcfArchive::ForLoading(Bytes({1, 0, 0, 0}));
    EXPECT_EQ(FailureOf([&] { load.WriteInt32(1); }), Kind::ReadOnly);
    EXPECT_EQ(FailureOf([&] { load.WriteAddress({1, 2, 3, 4}); }), Kind::ReadOnly);
    EXPECT_EQ(load.ReadInt32(), 1);  // the refused write consumed nothing
}

TEST(DcfArchive, FileSource) {
    TempDir dir;
    // More than one buffer of the file reader, with a text crossing buffer boundaries.
    auto store = CDcfArchive::ForStoring();
    store.WriteInt32(4);
    std::string big(10000, 'q');
    big[0] = 'a';
    big[9999] = 'z';
    store.WriteText(big);
    store.WriteByte(9);
    std::string path = dir.Write("a.dcf", store.Bytes());

    int fd = ::open(path.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    {
        auto load = CDcfArchive::ForLoadingFile(fd);
        EXPECT_EQ(load.ReadInt32(), 4);
        EXPECT_EQ(load.ReadText(), big);
        EXPECT_EQ(load.ReadByte(), 9);
        EXPECT_EQ(FailureOf([&] { load.ReadByte(); }), Kind::EndOfFile);
    }
    ::close(fd);
}

TEST(DcfArchive, ClaimedLengthBeyondTheFileFailsAtOnce) {
    TempDir dir;
    std::string path =
        dir.Write("claim.dcf", Bytes({0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x40}) + "abc");
    int fd = ::open(path.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    auto load = CDcfArchive::ForLoadingFile(fd);
    EXPECT_EQ(FailureOf([&] { load.ReadText(); }), Kind::EndOfFile);
    ::close(fd);
}

TEST(DcfArchive, PipeSourceGrowsOnlyWithTheData) {
    int p[2];
    ASSERT_EQ(::pipe(p), 0);
    std::string bytes = Bytes({0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x40}) + "abc";
    ASSERT_EQ(::write(p[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    ::close(p[1]);
    auto load = CDcfArchive::ForLoadingFile(p[0]);
    EXPECT_EQ(FailureOf([&] { load.ReadText(); }), Kind::EndOfFile);
    ::close(p[0]);
}

TEST(DcfArchive, UnreadableSourceIsAReadError) {
    TempDir dir;
    int fd = ::open(dir.Path().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    auto load = CDcfArchive::ForLoadingFile(fd);
    EXPECT_EQ(FailureOf([&] { load.ReadInt32(); }), Kind::ReadError);
    ::close(fd);
}

}  // namespace

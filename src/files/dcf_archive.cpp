#include "files/dcf_archive.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

constexpr size_t kFileBuffer = 4096;
// A text's bytes are read in slices of this size, so memory grows with what really arrives.
constexpr size_t kTextSlice = 65536;

}  // namespace

const char* CDcfArchive::Failure::what() const noexcept {
    switch (kind_) {
        case FailureKind::EndOfFile:
            return "archive: end of file";
        case FailureKind::ReadOnly:
            return "archive: write on a loading archive";
        case FailureKind::WriteOnly:
            return "archive: read on a storing archive";
        case FailureKind::BadIndex:
            return "archive: bad index";
        case FailureKind::BadClass:
            return "archive: bad class";
        case FailureKind::BadSchema:
            return "archive: bad schema";
        case FailureKind::ReadError:
            return "archive: read error";
        case FailureKind::RefusedValue:
            return "archive: value refused";
        case FailureKind::Generic:
            break;
    }
    return "archive: failure";
}

CDcfArchive CDcfArchive::ForStoring() {
    return CDcfArchive(true);
}

CDcfArchive CDcfArchive::ForLoading(std::string bytes) {
    CDcfArchive ar(false);
    ar.in_ = std::move(bytes);
    ar.fileLeft_ = 0;
    return ar;
}

CDcfArchive CDcfArchive::ForLoadingFile(int fd) {
    CDcfArchive ar(false);
    ar.fd_ = fd;
    struct stat st {};
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        off_t at = lseek(fd, 0, SEEK_CUR);
        if (at >= 0 && at <= st.st_size)
            ar.fileLeft_ = static_cast<uint64_t>(st.st_size - at);
    }
    return ar;
}

void CDcfArchive::RequireStoring() const {
    if (!storing_)
        throw Failure(FailureKind::ReadOnly);
}

void CDcfArchive::RequireLoading() const {
    if (storing_)
        throw Failure(FailureKind::WriteOnly);
}

// ---- storing ----

void CDcfArchive::WriteInt32(int32_t value) {
    RequireStoring();
    auto u = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i)
        out_.push_back(static_cast<char>((u >> (8 * i)) & 0xFF));
}

void CDcfArchive::WriteByte(uint8_t value) {
    RequireStoring();
    out_.push_back(static_cast<char>(value));
}

void CDcfArchive::WriteText(const std::string& value) {
    RequireStoring();
    const uint64_t n = value.size();
    auto put16 = [this](uint32_t v) {
        out_.push_back(static_cast<char>(v & 0xFF));
        out_.push_back(static_cast<char>((v >> 8) & 0xFF));
    };
    if (n < 0xFF) {
        out_.push_back(static_cast<char>(n));
    } else if (n < 0xFFFE) {
        out_.push_back(static_cast<char>(0xFF));
        put16(static_cast<uint32_t>(n));
    } else {
        out_.push_back(static_cast<char>(0xFF));
        put16(0xFFFF);
        auto u = static_cast<uint32_t>(n);
        put16(u & 0xFFFF);
        put16(u >> 16);
    }
    out_ += value;
}

void CDcfArchive::WriteAddress(const std::array<uint8_t, 4>& octets) {
    RequireStoring();
    for (uint8_t o : octets)
        out_.push_back(static_cast<char>(o));
}

// ---- loading ----

bool CDcfArchive::Refill() {
    if (fd_ < 0)
        return false;
    in_.erase(0, pos_);
    pos_ = 0;
    char buf[kFileBuffer];
    for (;;) {
        ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw Failure(FailureKind::ReadError);
        if (n == 0)
            return false;
        in_.append(buf, static_cast<size_t>(n));
        if (fileLeft_)
            *fileLeft_ -= std::min<uint64_t>(*fileLeft_, static_cast<uint64_t>(n));
        return true;
    }
}

std::optional<uint64_t> CDcfArchive::Remaining() const {
    if (!fileLeft_)
        return std::nullopt;
    return *fileLeft_ + (in_.size() - pos_);
}

void CDcfArchive::ReadRaw(void* dst, size_t n) {
    auto* d = static_cast<char*>(dst);
    while (n > 0) {
        if (pos_ == in_.size() && !Refill())
            throw Failure(FailureKind::EndOfFile);
        size_t take = std::min(n, in_.size() - pos_);
        std::memcpy(d, in_.data() + pos_, take);
        pos_ += take;
        d += take;
        n -= take;
    }
}

uint16_t CDcfArchive::ReadU16() {
    uint8_t b[2];
    ReadRaw(b, 2);
    return static_cast<uint16_t>(b[0] | (b[1] << 8));
}

uint32_t CDcfArchive::ReadU32() {
    uint8_t b[4];
    ReadRaw(b, 4);
    return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
           (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
}

int32_t CDcfArchive::ReadInt32() {
    RequireLoading();
    return static_cast<int32_t>(ReadU32());
}

uint8_t CDcfArchive::ReadByte() {
    RequireLoading();
    uint8_t b;
    ReadRaw(&b, 1);
    return b;
}

std::array<uint8_t, 4> CDcfArchive::ReadAddress() {
    RequireLoading();
    std::array<uint8_t, 4> a{};
    ReadRaw(a.data(), 4);
    return a;
}

// 0..254 in one byte; 0xFF then 16 bits; 0xFFFF then 32 bits. A 16-bit 0xFFFE marks a text of
// 16-bit characters whose length follows in the same form.
uint32_t CDcfArchive::ReadLength(bool& wide) {
    uint8_t b;
    ReadRaw(&b, 1);
    if (b < 0xFF)
        return b;
    uint16_t w = ReadU16();
    if (w == 0xFFFE) {
        if (wide)
            throw Failure(FailureKind::Generic);  // a second mark: not a length at all
        wide = true;
        return ReadLength(wide);
    }
    if (w < 0xFFFF)
        return w;
    return ReadU32();
}

void CDcfArchive::ReadInto(std::string& text, uint64_t n) {
    if (auto left = Remaining(); left && n > *left)
        throw Failure(FailureKind::EndOfFile);
    while (n > 0) {
        if (pos_ == in_.size() && !Refill())
            throw Failure(FailureKind::EndOfFile);
        size_t take = static_cast<size_t>(std::min<uint64_t>({n, in_.size() - pos_, kTextSlice}));
        text.append(in_, pos_, take);
        pos_ += take;
        n -= take;
    }
}

std::string CDcfArchive::ReadText() {
    RequireLoading();
    bool wide = false;
    uint32_t n = ReadLength(wide);
    std::string raw;
    ReadInto(raw, wide ? uint64_t{n} * 2 : n);
    if (!wide)
        return raw;
    std::string text;
    text.reserve(n);
    for (size_t i = 0; i + 1 < raw.size(); i += 2) {
        unsigned c = static_cast<uint8_t>(raw[i]) | (static_cast<uint8_t>(raw[i + 1]) << 8);
        text.push_back(c <= 0xFF ? static_cast<char>(c) : '?');
    }
    return text;
}

// ---- both ways ----

void CDcfArchive::Int32(int32_t& value) {
    if (storing_)
        WriteInt32(value);
    else
        value = ReadInt32();
}

void CDcfArchive::Byte(uint8_t& value) {
    if (storing_)
        WriteByte(value);
    else
        value = ReadByte();
}

void CDcfArchive::Text(std::string& value) {
    if (storing_)
        WriteText(value);
    else
        value = ReadText();
}

void CDcfArchive::Address(std::array<uint8_t, 4>& octets) {
    if (storing_)
        WriteAddress(octets);
    else
        octets = ReadAddress();
}

void CDcfArchive::Address(uint8_t (&octets)[4]) {
    std::array<uint8_t, 4> a{octets[0], octets[1], octets[2], octets[3]};
    Address(a);
    std::copy(a.begin(), a.end(), octets);
}

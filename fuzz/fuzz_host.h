#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <unistd.h>

#include "host/silent_ui_host.h"

// The fuzz targets' host: every message box takes its default answer, the file dialogs name the
// file the target wrote, and nothing waits.
using FuzzUiHost = SilentUiHost;

// An invariant of a target; a broken one is a finding.
#define FUZZ_CHECK(cond)                                                               \
    do {                                                                               \
        if (!(cond)) {                                                                 \
            std::fprintf(stderr, "invariant failed: %s (line %d)\n", #cond, __LINE__); \
            std::abort();                                                              \
        }                                                                              \
    } while (0)

inline std::string ReadFile(const std::string& path) {
    std::string s;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
            s.append(buf, n);
        std::fclose(f);
    }
    return s;
}

// Reads bytes off the fuzzer's input one decision at a time; zeros once it is used up.
class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool Empty() const { return pos_ >= size_; }
    uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    // A small signed integer that is now and then far out of range.
    int Int(int lo, int hi) {
        uint8_t b = Byte();
        if (b == 0xFF)
            return -1000000;
        if (b == 0xFE)
            return 1000000;
        return lo + b % (hi - lo + 1);
    }
    std::string Text(size_t maxLen) {
        size_t n = Byte() % (maxLen + 1);
        std::string s;
        for (size_t i = 0; i < n && !Empty(); ++i)
            s += static_cast<char>(Byte());
        return s;
    }
    std::string Rest() {
        std::string s(reinterpret_cast<const char*>(data_ + pos_), size_ - pos_);
        pos_ = size_;
        return s;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

// A file the target writes its input into, one per process, removed at exit.
class ScratchFile {
public:
    explicit ScratchFile(const char* suffix) {
        const char* dir = std::getenv("TMPDIR");
        path_ = std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/qor_fuzz_" +
                std::to_string(getpid()) + suffix;
    }
    ~ScratchFile() { unlink(path_.c_str()); }
    const std::string& Path() const { return path_; }
    void Write(const uint8_t* data, size_t size) {
        std::FILE* f = std::fopen(path_.c_str(), "wb");
        if (f == nullptr)
            std::abort();
        if (size > 0 && std::fwrite(data, 1, size, f) != size)
            std::abort();
        std::fclose(f);
    }

private:
    std::string path_;
};

#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <unistd.h>

#include "app/ui_host.h"

// A UiHost for the fuzz targets: every message box takes its default answer, the file dialogs
// name the file the target wrote, and nothing waits.
class FuzzUiHost : public UiHost {
public:
    Answer MessageBox(const std::string&, const std::string&, Icon, Buttons,
                      Answer defaultAnswer) override {
        ++messages;
        return defaultAnswer;
    }
    std::optional<std::string> OpenFileName(const std::string&, const std::string&) override {
        return fileName;
    }
    std::optional<std::string> SaveFileName(const std::string&, const std::string&) override {
        return fileName;
    }
    void ProcessPendingEvents() override {}
    void Pause(int) override {}
    void Beep() override { ++beeps; }
    bool OpenHelp(const std::string&) override { return false; }
    std::string ClipboardText() override { return clipboard; }
    void SetClipboardText(const std::string& text) override { clipboard = text; }

    std::optional<std::string> fileName;
    std::string clipboard;
    int messages = 0;
    int beeps = 0;
};

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

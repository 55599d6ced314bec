#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

// A fresh folder under /tmp for one test, removed with everything in it.
class TempDir {
public:
    TempDir() {
        char tmpl[] = "/tmp/qorfiles.XXXXXX";
        if (!mkdtemp(tmpl))
            throw std::runtime_error("mkdtemp failed");
        path_ = tmpl;
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

    std::string Write(const std::string& name, const std::string& bytes) const {
        std::string p = File(name);
        std::ofstream(p, std::ios::binary) << bytes;
        return p;
    }
    // Names of everything in the folder, so a test can see that no stray file was left.
    size_t EntryCount() const {
        size_t n = 0;
        for (auto it = std::filesystem::directory_iterator(path_);
             it != std::filesystem::directory_iterator(); ++it)
            ++n;
        return n;
    }

private:
    std::string path_;
};

// Makes a fresh folder the current directory while it lives (the window keeps its settings file
// there), then goes back.
class InTempCwd {
public:
    InTempCwd() {
        char buf[4096];
        old_ = getcwd(buf, sizeof buf) ? buf : "/";
        if (chdir(dir_.Path().c_str()) != 0) ADD_FAILURE() << "chdir " << dir_.Path();
    }
    ~InTempCwd() {
        if (chdir(old_.c_str()) != 0) ADD_FAILURE() << "chdir back to " << old_;
    }
    InTempCwd(const InTempCwd&) = delete;
    InTempCwd& operator=(const InTempCwd&) = delete;
    const TempDir& Dir() const { return dir_; }

private:
    TempDir dir_;
    std::string old_;
};

inline std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

#pragma once

#include <string>
#include <string_view>

// Replaces a file only once its new contents are wholly on disk: the bytes go to a new file
// beside the target, which is flushed and renamed over the target at Commit. Until then, and
// after any failure, the old file stays exactly as it was.
class CSafeFileWriter {
public:
    CSafeFileWriter() = default;
    ~CSafeFileWriter();
    CSafeFileWriter(const CSafeFileWriter&) = delete;
    CSafeFileWriter& operator=(const CSafeFileWriter&) = delete;

    // Creates the new file. False when the target cannot be written: its folder is missing or
    // closed to us, it is not a plain file, or it is write-protected.
    bool Create(const std::string& target);
    // False once any write has failed; later writes are not attempted.
    bool Write(std::string_view bytes);
    // Flushes, syncs and renames over the target. False (and the new file removed) on failure.
    bool Commit();
    // Removes the new file; the target is untouched.
    void Discard();

private:
    std::string target_;
    std::string temp_;
    int fd_ = -1;
    bool failed_ = false;
};

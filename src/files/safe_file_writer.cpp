#include "files/safe_file_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <random>

namespace {

std::string FolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string BaseOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

CSafeFileWriter::~CSafeFileWriter() {
    Discard();
}

bool CSafeFileWriter::Create(const std::string& target) {
    Discard();
    failed_ = false;
    if (target.empty())
        return false;
    target_ = target;

    struct stat st {};
    bool exists = false;
    if (lstat(target_.c_str(), &st) == 0) {
        if (S_ISLNK(st.st_mode)) {
            // Replace the file the link names, not the link.
            char real[PATH_MAX];
            if (!realpath(target_.c_str(), real))
                return false;
            target_ = real;
            if (stat(target_.c_str(), &st) != 0)
                return false;
        }
        if (!S_ISREG(st.st_mode))
            return false;
        if (access(target_.c_str(), W_OK) != 0)
            return false;
        exists = true;
    }

    static std::atomic<unsigned> counter{0};
    std::random_device rd;
    const std::string stem = FolderOf(target_) + "/." + BaseOf(target_) + ".new-";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = stem + std::to_string(getpid()) + "-" + std::to_string(counter++) + "-" +
                           std::to_string(rd() % 100000);
        int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno == EINTR)
            continue;
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0)
            return false;
        fd_ = fd;
        temp_ = name;
        // A replaced file keeps its permissions; a new one gets the usual 0666 less the umask.
        if (exists)
            (void)fchmod(fd_, st.st_mode & 07777);
        return true;
    }
    return false;
}

bool CSafeFileWriter::Write(std::string_view bytes) {
    if (fd_ < 0 || failed_)
        return false;
    while (!bytes.empty()) {
        ssize_t n = ::write(fd_, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            failed_ = true;
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

bool CSafeFileWriter::Commit() {
    if (fd_ < 0 || failed_) {
        Discard();
        return false;
    }
    bool ok = fsync(fd_) == 0;
    ok = (::close(fd_) == 0) && ok;
    fd_ = -1;
    if (!ok || std::rename(temp_.c_str(), target_.c_str()) != 0) {
        Discard();
        return false;
    }
    temp_.clear();
    // Make the rename itself durable; the file is already in place either way.
    int dir = ::open(FolderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        (void)fsync(dir);
        ::close(dir);
    }
    return true;
}

void CSafeFileWriter::Discard() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    if (!temp_.empty())
        ::unlink(temp_.c_str());
    temp_.clear();
}

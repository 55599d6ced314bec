#include "files/settings_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

constexpr const char* kPortPrefix = "CommPort=COM";
constexpr const char* kBaudPrefix = "BaudRate=";
constexpr const char* kPortFormat = "CommPort=COM%d\r\n";
constexpr const char* kBaudFormat = "BaudRate=%d\r\n";

// Both lines at their longest, with room to see that a number runs on.
constexpr size_t kMostUsefulBytes = 12 + CSettingsFile::kMaxNumberChars + 2 + 9 +
                                    CSettingsFile::kMaxNumberChars + 2;

constexpr int kRates[7] = {57600, 38400, 19200, 9600, 4800, 2400, 1200};

// The head of the file, at most n bytes; empty optional when it cannot be read.
std::optional<std::string> ReadHead(const std::string& path, size_t n) {
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return std::nullopt;
    std::string bytes(n, '\0');
    size_t got = 0;
    bool failed = false;
    while (got < n) {
        ssize_t r = ::read(fd, bytes.data() + got, n - got);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) failed = true;
        if (r <= 0) break;
        got += static_cast<size_t>(r);
    }
    ::close(fd);
    if (failed) return std::nullopt;
    bytes.resize(got);
    return bytes;
}

// A cursor over the bytes read, which never runs past their end.
class Cursor {
public:
    explicit Cursor(const std::string& bytes) : bytes_(bytes) {}

    bool Expect(const char* literal) {
        size_t n = std::strlen(literal);
        if (bytes_.size() - pos_ < n || bytes_.compare(pos_, n, literal) != 0) return false;
        pos_ += n;
        return true;
    }

    // The characters up to the next CR, the CR consumed. Empty optional when the bytes end
    // first or more than kMaxNumberChars come before it.
    std::optional<std::string> UpToCr() {
        size_t cr = bytes_.find('\r', pos_);
        if (cr == std::string::npos) return std::nullopt;
        if (cr - pos_ > static_cast<size_t>(CSettingsFile::kMaxNumberChars)) return std::nullopt;
        std::string field = bytes_.substr(pos_, cr - pos_);
        pos_ = cr + 1;
        return field;
    }

    // The byte after the CR, normally the LF; its absence at the very end is no error.
    void SkipOne() {
        if (pos_ < bytes_.size()) ++pos_;
    }

private:
    const std::string& bytes_;
    size_t pos_ = 0;
};

// The decimal number a field starts with, read as the C library's atoi does (leading blanks,
// a sign, digits up to the first other character; none gives 0). Fields are at most 11
// characters, so the value always fits.
long long DecimalValue(const std::string& field) {
    size_t i = 0;
    while (i < field.size() && (field[i] == ' ' || field[i] == '\t')) ++i;
    bool negative = false;
    if (i < field.size() && (field[i] == '+' || field[i] == '-')) negative = field[i++] == '-';
    long long v = 0;
    while (i < field.size() && field[i] >= '0' && field[i] <= '9') v = v * 10 + (field[i++] - '0');
    return negative ? -v : v;
}

bool WriteAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t w = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        done += static_cast<size_t>(w);
    }
    return true;
}

}  // namespace

int CSettingsFile::RateOfIndex(int baudIndex) {
    if (baudIndex < 0 || baudIndex > 6) return 38400;
    return kRates[baudIndex];
}

int CSettingsFile::IndexOfRate(long long rate) {
    for (int i = 0; i < 7; ++i) {
        if (i != 1 && kRates[i] == rate) return i;
    }
    return 1;
}

CSettingsFile::ReadResult CSettingsFile::Read(const std::string& path) {
    ReadResult result;
    auto head = ReadHead(path, kMostUsefulBytes);
    if (!head) return result;
    Cursor in(*head);

    if (!in.Expect(kPortPrefix)) return result;
    auto portField = in.UpToCr();
    if (!portField) return result;
    // A port the utility cannot open is no setting; the rate line still is.
    long long port = DecimalValue(*portField);
    if (port >= 1 && port <= 32) result.port = static_cast<int>(port);
    in.SkipOne();

    if (!in.Expect(kBaudPrefix)) return result;
    auto baudField = in.UpToCr();
    if (!baudField) return result;
    result.baudIndex = IndexOfRate(DecimalValue(*baudField));
    in.SkipOne();
    result.ok = true;
    return result;
}

std::string CSettingsFile::Format(int port, int baudIndex) {
    char buf[64];
    int n = std::snprintf(buf, sizeof buf, kPortFormat, port);
    std::string text(buf, static_cast<size_t>(n));
    n = std::snprintf(buf, sizeof buf, kBaudFormat, RateOfIndex(baudIndex));
    text.append(buf, static_cast<size_t>(n));
    return text;
}

bool CSettingsFile::Write(int port, int baudIndex, const std::string& path) {
    std::string text = Format(port, baudIndex);
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return false;
    bool ok = WriteAll(fd, text);
    if (ok) {
        int r;
        do {
            r = ::ftruncate(fd, static_cast<off_t>(text.size()));
        } while (r < 0 && errno == EINTR);
        ok = r == 0;
    }
    if (::close(fd) != 0) ok = false;
    return ok;
}

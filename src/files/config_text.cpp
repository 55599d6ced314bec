#include "files/config_text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "host/ui_host.h"
#include "controls/masked_edit.h"

namespace {

constexpr const char* kAborted = "Text file load ABORTED!\n";
constexpr const char* kDefaultsLoaded = "Text file load ABORTED!\nDefault values loaded.";
constexpr const char* kOverflowFormat = "m_pBuffer overflow in line %u (line length over %d chars)";

bool IsLineEnd(char c) {
    return c == '\r' || c == '\n';
}

}  // namespace

// ---- ZUVException ----

ZUVException ZUVException::MissingSection(const std::string& header) {
    return ZUVException(std::string(kAborted) + "Failed to locate \"" + header + "\" section.");
}

ZUVException ZUVException::MissingParameter(const std::string& key) {
    return ZUVException(std::string(kAborted) + "Failed to locate \"" + key + "\" parameter.");
}

ZUVException ZUVException::ParameterInError(const std::string& key) {
    return ZUVException(std::string(kDefaultsLoaded) + "\n\"" + key + "\" parameter in error.");
}

ZUVException ZUVException::ConfigurationInError(const std::string& key) {
    return ZUVException(std::string(kDefaultsLoaded) + "\n\"" + key +
                        "\" file configuration/parameter in error.");
}

ZUVException ZUVException::SectionInError(const std::string& section) {
    return ZUVException(std::string(kDefaultsLoaded) + "\n" + section + " parameters in error.");
}

bool ZUVException::GetErrorMessage(char* buffer, size_t size) const {
    if (buffer == nullptr || size == 0)
        return false;
    size_t n = std::min(size - 1, message_.size());
    std::memcpy(buffer, message_.data(), n);
    buffer[n] = '\0';
    return true;
}

void ZUVException::ReportError(UiHost& ui) const {
    ui.MessageBox(message_, UiHost::kProgramName, UiHost::Icon::None, UiHost::Buttons::Ok,
                  UiHost::Answer::Ok);
}

// ---- writing ----

void WriteText(CTextOutFile& file, const std::string& text) {
    file.Append(text);
}

void WriteFormat(CTextOutFile& file, const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    int n = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    if (n > 0) {
        std::string text(static_cast<size_t>(n) + 1, '\0');
        std::vsnprintf(text.data(), text.size(), format, again);
        text.resize(static_cast<size_t>(n));
        WriteText(file, text);
    }
    va_end(again);
}

std::optional<std::string> RegroupAddress(const std::string& value) {
    if (value.size() == 15)
        return value;
    std::string out;
    size_t start = 0;
    for (int k = 0; k < 4; ++k) {
        size_t end = k < 3 ? value.find('.', start) : value.size();
        if (end == std::string::npos)
            return std::nullopt;
        // Only padding is defined: a longer group would have to lose digits.
        size_t n = end - start;
        if (n == 0 || n > 3)
            return std::nullopt;
        if (k > 0)
            out += '.';
        out += std::string(3 - n, '0') + value.substr(start, n);
        start = end + 1;
    }
    return out;
}

// ---- reading ----

CConfigTextReader::CConfigTextReader(UiHost& ui, int chunkSize)
    : ui_(ui), chunkSize_(std::clamp(chunkSize, 1, kChunkSize)) {}

CConfigTextReader::~CConfigTextReader() {
    CloseFile();
}

bool CConfigTextReader::OpenFile(const std::string& name) {
    CloseFile();
    int fd;
    do {
        fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return false;
    fd_ = fd;
    warnedLines_.clear();
    struct stat st {};
    fileSize_ = fstat(fd_, &st) == 0 ? static_cast<long long>(st.st_size) : 0;
    return true;
}

void CConfigTextReader::OpenText(std::string text) {
    CloseFile();
    text_ = std::move(text);
    inMemory_ = true;
    warnedLines_.clear();
    fileSize_ = static_cast<long long>(text_.size());
}

void CConfigTextReader::CloseFile() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    inMemory_ = false;
    text_.clear();
    textPos_ = 0;
    pos_ = valid_ = 0;
    lineNumber_ = 0;
    endSeen_ = false;
    cutLine_ = false;
}

bool CConfigTextReader::ReadChunk() {
    valid_ = 0;
    pos_ = 0;
    if (inMemory_) {
        size_t n = std::min(static_cast<size_t>(chunkSize_), text_.size() - textPos_);
        std::memcpy(chunk_, text_.data() + textPos_, n);
        textPos_ += n;
        valid_ = static_cast<int>(n);
        endSeen_ = valid_ < chunkSize_;
        return valid_ > 0;
    }
    if (fd_ < 0)
        return false;
    // A chunk is filled as far as the file allows: a short chunk means the end of the file.
    while (valid_ < chunkSize_) {
        ssize_t n = ::read(fd_, chunk_ + valid_, static_cast<size_t>(chunkSize_ - valid_));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw CTextReadError();
        if (n == 0)
            break;
        valid_ += static_cast<int>(n);
    }
    // Set, not only raised: after a rewind the file's first chunks are full again.
    endSeen_ = valid_ < chunkSize_;
    return valid_ > 0;
}

unsigned CConfigTextReader::ReadLine(std::string& line) {
    line.clear();
    int count = 0;
    for (;;) {
        if (lineNumber_ == 0 || pos_ >= valid_) {
            if (!ReadChunk()) {
                if (count > 0)
                    break;
                lineNumber_ = 0;
                return 0;
            }
        }
        while (pos_ < valid_) {
            if (count == kLineLimit - 1) {
                ++lineNumber_;
                // Every section search reads the file again: one warning per physical line.
                if (!cutLine_ && warnedLines_.insert(lineNumber_).second) {
                    char text[128];
                    std::snprintf(text, sizeof text, kOverflowFormat, lineNumber_, kLineLimit);
                    warning_ = text;
                    ui_.MessageBox(warning_, kWarningCaption, UiHost::Icon::Exclamation,
                                   UiHost::Buttons::Ok, UiHost::Answer::Ok);
                }
                cutLine_ = true;
                // The rest of the physical line comes with the next call.
                return lineNumber_;
            }
            char c = chunk_[pos_];
            if (!IsLineEnd(c)) {
                line.push_back(c);
                ++count;
            } else {
                cutLine_ = false;
                if (pos_ + 1 < valid_ && IsLineEnd(chunk_[pos_ + 1])) {
                    if (line.empty())
                        ++lineNumber_;
                    ++pos_;
                }
                if (!line.empty()) {
                    ++lineNumber_;
                    return lineNumber_;
                }
            }
            ++pos_;
        }
        if (endSeen_)
            break;
    }
    if (count == 0) {
        lineNumber_ = 0;
        return 0;
    }
    ++lineNumber_;
    return lineNumber_;
}

void CConfigTextReader::Rewind() {
    cutLine_ = false;
    pos_ = 0;
    valid_ = 0;
    lineNumber_ = 0;
    endSeen_ = false;
    textPos_ = 0;
    if (fd_ >= 0 && ::lseek(fd_, 0, SEEK_SET) < 0)
        throw CTextReadError();
}

void CConfigTextReader::FindSection(const std::string& header) {
    Rewind();
    std::string line;
    while (ReadLine(line) != 0) {
        if (line == header)
            return;
    }
    throw ZUVException::MissingSection(header);
}

int CConfigTextReader::ReadVersion() {
    std::string line;
    ReadLine(line);
    if (line == "Version: 4")
        return 4;
    if (line == "Version: 3")
        return 3;
    if (line == "Version: 2")
        return 2;
    return 1;
}

std::string CConfigTextReader::ReadParam(const std::string& key) {
    std::string line;
    ReadLine(line);
    if (line.find(key) == std::string::npos)
        throw ZUVException::MissingParameter(key);
    // A value is saved as a C string: what follows a NUL would be lost, so it is checked and
    // taken without it.
    std::string value = line.substr(key.size());
    value.resize(std::min(value.find('\0'), value.size()));
    return value;
}

void CConfigTextReader::ReadAddressParam(const std::string& key, CMaskedEdit& field) {
    std::string value = ReadParam(key);
    if (value.size() == 15 && value.find('.') == std::string::npos)
        throw ZUVException::ParameterInError(key);
    std::optional<std::string> grouped = RegroupAddress(value);
    if (!grouped)
        throw ZUVException::ParameterInError(key);
    // Drop the literal positions of the field's mask "###.###.###.###".
    std::string digits;
    for (size_t i = 0; i < grouped->size(); ++i) {
        if (i != 3 && i != 7 && i != 11)
            digits.push_back((*grouped)[i]);
    }
    // Twelve decimal digits or nothing: the field's prompt character would pass as an empty
    // position.
    bool allDigits =
        std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (!allDigits || !field.PlaceInput(digits, 0, true))
        throw ZUVException::ParameterInError(key);
}

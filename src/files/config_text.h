#pragma once

#include <cstddef>
#include <exception>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>

class CMaskedEdit;
class UiHost;

// Aborts a text configuration load; carries the message the load shows (OK, no icon).
class ZUVException : public std::exception {
public:
    explicit ZUVException(std::string message) : message_(std::move(message)) {}

    // The messages of the load, spelled once here. key includes its colon and space.
    static ZUVException MissingSection(const std::string& header);
    static ZUVException MissingParameter(const std::string& key);
    static ZUVException ParameterInError(const std::string& key);
    // The series and options of a file contradict each other.
    static ZUVException ConfigurationInError(const std::string& key);
    // section with its brackets: "[TCPIP]".
    static ZUVException SectionInError(const std::string& section);

    const std::string& Message() const { return message_; }
    // Copies the message, cut to fit, with its terminator into buffer; false when size is 0.
    bool GetErrorMessage(char* buffer, size_t size) const;
    // Shows the message in a box with an OK button and no icon.
    void ReportError(UiHost& ui) const;
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

// The file could not be read (not a content error: the load reports "Unable to read file").
class CTextReadError : public std::runtime_error {
public:
    CTextReadError() : std::runtime_error("text file read error") {}
};

// What a text save writes: the pages append their lines with WriteText; the save procedure puts
// the whole on disk. Tests read Text() back.
class CTextOutFile {
public:
    const std::string& Text() const { return text_; }
    void Append(const std::string& text) { text_ += text; }

private:
    std::string text_;
};

// Writes the characters as they are: no terminator, no line end added.
void WriteText(CTextOutFile& file, const std::string& text);
// printf-style convenience for the pages' line formats ("Route%02d: %s\r\n").
void WriteFormat(CTextOutFile& file, const char* format, ...) __attribute__((format(printf, 2, 3)));

// The three-digit form of an address text: a 15-character text as it is; otherwise the text
// split at its first three '.' into four groups of one to three characters, each padded with
// leading zeros (10.0.0.1 gives 010.000.000.001). Empty when there is no such split: fewer
// than three '.', an empty group or one of more than three characters.
std::optional<std::string> RegroupAddress(const std::string& value);

// Reads a text configuration file line by line for the pages' ReadSection. Lines end with CR LF,
// a lone CR or a lone LF; empty lines are skipped. Reading steps that find the file not as
// expected throw ZUVException; a failed read throws CTextReadError.
class CConfigTextReader {
public:
    static constexpr int kChunkSize = 2048;
    static constexpr int kLineLimit = 2048;

    static constexpr const char* kWarningCaption = "Warning !";

    // chunkSize is at most kChunkSize; smaller sizes exist for tests of chunk boundaries.
    explicit CConfigTextReader(UiHost& ui, int chunkSize = kChunkSize);
    ~CConfigTextReader();
    CConfigTextReader(const CConfigTextReader&) = delete;
    CConfigTextReader& operator=(const CConfigTextReader&) = delete;

    bool OpenFile(const std::string& name);
    // Reads text held in memory as if it were a file's contents.
    void OpenText(std::string text);
    void CloseFile();
    bool IsOpen() const { return fd_ >= 0 || inMemory_; }

    // The next non-empty line without its line end, and its line number; 0 and an empty line at
    // the end of the file. A line longer than kLineLimit - 1 characters is delivered in pieces,
    // with one warning box for the physical line, the first time it is read after OpenFile.
    unsigned ReadLine(std::string& line);
    void Rewind();
    // Rewinds and reads up to the line equal to header (brackets included). Throws when absent.
    void FindSection(const std::string& header);
    // The next line: "Version: 4", "Version: 3", "Version: 2" give 4, 3, 2; anything else 1.
    int ReadVersion();
    // The next line must contain key; returns the line without its first key.size() characters,
    // up to a NUL if it holds one.
    std::string ReadParam(const std::string& key);
    // Reads an address parameter and places it into the address entry field. A value that is
    // not an address throws ParameterInError.
    void ReadAddressParam(const std::string& key, CMaskedEdit& field);

    unsigned LineNumber() const { return lineNumber_; }
    long long FileSize() const { return fileSize_; }

private:
    bool ReadChunk();

    UiHost& ui_;
    int fd_ = -1;
    bool inMemory_ = false;
    std::string text_;    // the contents when in memory
    size_t textPos_ = 0;  // where the next chunk starts in text_
    long long fileSize_ = 0;
    int chunkSize_;
    char chunk_[kChunkSize];
    int valid_ = 0;
    int pos_ = 0;
    bool endSeen_ = false;
    unsigned lineNumber_ = 0;
    bool cutLine_ = false;  // the pieces of a cut line are being delivered
    std::set<unsigned> warnedLines_;
    std::string warning_;
};

#pragma once

#include <array>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>

// The byte archive of the .dcf file: little-endian int32, single bytes, length-prefixed 8-bit
// texts and four-octet addresses. An archive is either storing (collecting the bytes in memory,
// written out by the save procedure) or loading (from memory or an open file).
//
// A page writes its record once with the exchange calls, which store or load by the archive's
// direction:
//     ar.Int32(baudIndex_); ar.Address(ipOctets_); ar.Text(sender_);
// The one-way calls exist for records that differ by direction; using one against the archive's
// direction is reported as the archive failure it is, never silently ignored.
class CDcfArchive {
public:
    // Every way an archive operation fails. The load and save procedures turn the kind into
    // their messages.
    enum class FailureKind {
        EndOfFile,  // the file ended inside a value
        ReadOnly,   // a write on a loading archive
        WriteOnly,  // a read on a storing archive
        BadIndex,
        BadClass,
        BadSchema,
        ReadError,  // the file could not be read
        RefusedValue,  // a value its control's check refused; the check has said why
        Generic,
    };

    class Failure : public std::exception {
    public:
        explicit Failure(FailureKind kind) : kind_(kind) {}
        FailureKind Kind() const { return kind_; }
        const char* what() const noexcept override;

    private:
        FailureKind kind_;
    };

    // A storing archive; Bytes() holds what was written.
    static CDcfArchive ForStoring();
    // A loading archive over bytes held in memory.
    static CDcfArchive ForLoading(std::string bytes);
    // A loading archive over an open descriptor, read from its current offset. The descriptor
    // stays the caller's.
    static CDcfArchive ForLoadingFile(int fd);

    CDcfArchive(CDcfArchive&&) noexcept = default;
    CDcfArchive& operator=(CDcfArchive&&) noexcept = default;
    CDcfArchive(const CDcfArchive&) = delete;
    CDcfArchive& operator=(const CDcfArchive&) = delete;

    bool IsStoring() const { return storing_; }
    bool IsLoading() const { return !storing_; }

    // Both ways: store the value, or replace it with the one read.
    void Int32(int32_t& value);
    void Byte(uint8_t& value);
    void Text(std::string& value);
    void Address(std::array<uint8_t, 4>& octets);
    void Address(uint8_t (&octets)[4]);

    // One way. Write* on a loading archive throws ReadOnly, Read* on a storing one WriteOnly.
    void WriteInt32(int32_t value);
    void WriteByte(uint8_t value);
    void WriteText(const std::string& value);
    void WriteAddress(const std::array<uint8_t, 4>& octets);
    int32_t ReadInt32();
    uint8_t ReadByte();
    std::string ReadText();
    std::array<uint8_t, 4> ReadAddress();

    // What a storing archive has collected.
    const std::string& Bytes() const { return out_; }

private:
    explicit CDcfArchive(bool storing) : storing_(storing) {}

    void RequireStoring() const;
    void RequireLoading() const;
    void ReadRaw(void* dst, size_t n);
    uint16_t ReadU16();
    uint32_t ReadU32();
    // Bytes left before the end of the data; empty when the source cannot tell (a pipe).
    std::optional<uint64_t> Remaining() const;
    uint32_t ReadLength(bool& wide);
    // Reads n bytes into text, growing it only as the bytes arrive.
    void ReadInto(std::string& text, uint64_t n);
    bool Refill();

    bool storing_;
    std::string out_;

    // Loading: the buffered bytes and where the next one is taken.
    std::string in_;
    size_t pos_ = 0;
    int fd_ = -1;
    std::optional<uint64_t> fileLeft_;  // bytes of the file not yet in in_
};

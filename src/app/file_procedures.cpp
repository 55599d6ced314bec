#include "app/file_procedures.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <new>

#include "host/ui_host.h"
#include "files/config_text.h"
#include "files/safe_file_writer.h"
#include "pages/config_page.h"

namespace {

constexpr const char* kFilenameNotSpecified = "Filename not specified";
constexpr const char* kCouldNotOpen = "File could not be opened";
constexpr const char* kErrorWriting = "Error writing to file";
constexpr const char* kUnknownFormat = "Unknown .dcf file format";
constexpr const char* kEndOfFile = "End of file reached";
constexpr const char* kOpenedForReading = "File already opened for reading";
constexpr const char* kOpenedForStoring = "File already opened for storing";
constexpr const char* kUnableToWriteDatabase = "Unable to write the database";
constexpr const char* kInvalidFormat = "Invalid file format";
constexpr const char* kIncorrectVersion = "Incorrect file version";
constexpr const char* kOutOfMemory = "Out of memory";
constexpr const char* kUnableToRead = "Unable to read file";

constexpr int32_t kDcfVersion = 4;
constexpr const char* kTextHeader = "[QorConfiguration]\r\n";
// The first section's own leading line end finishes this line.
constexpr const char* kTextVersion = "Version: 4";

// Closes a descriptor on every way out.
struct FdCloser {
    int fd;
    ~FdCloser() {
        if (fd >= 0)
            ::close(fd);
    }
};

bool WriteAll(const std::string& bytes, UiHost& ui, CSafeFileWriter& file) {
    if (!file.Write(bytes) || !file.Commit()) {
        file.Discard();
        ui.Message(kErrorWriting);
        return false;
    }
    return true;
}

// The first steps of every save: a name, and a new file that will take its place.
bool CreateForSaving(const std::string& name, UiHost& ui, CSafeFileWriter& file) {
    if (name.empty()) {
        ui.Message(kFilenameNotSpecified);
        return false;
    }
    if (!file.Create(name)) {
        ui.Message(kCouldNotOpen);
        return false;
    }
    return true;
}

}  // namespace

const char* DcfSaveFailureMessage(CDcfArchive::FailureKind kind) {
    return kind == CDcfArchive::FailureKind::ReadOnly ? kOpenedForReading : kUnableToWriteDatabase;
}

const char* DcfLoadFailureMessage(CDcfArchive::FailureKind kind) {
    using Kind = CDcfArchive::FailureKind;
    switch (kind) {
        case Kind::EndOfFile:
            return kEndOfFile;
        case Kind::WriteOnly:
            return kOpenedForStoring;
        case Kind::ReadOnly:
            return kOpenedForReading;
        case Kind::BadIndex:
        case Kind::BadClass:
        case Kind::RefusedValue:  // after the check's own message: the file is not taken
            return kInvalidFormat;
        case Kind::BadSchema:
            return kIncorrectVersion;
        case Kind::ReadError:
            return kUnableToRead;
        case Kind::Generic:
            break;
    }
    return kInvalidFormat;
}

bool SaveDcfPages(const std::string& name, const std::vector<CConfigPage*>& pages, UiHost& ui) {
    CSafeFileWriter file;
    if (!CreateForSaving(name, ui, file))
        return false;
    try {
        auto ar = CDcfArchive::ForStoring();
        ar.WriteInt32(kDcfVersion);
        for (CConfigPage* page : pages)
            page->ExchangeDcf(ar);
        return WriteAll(ar.Bytes(), ui, file);
    } catch (const CDcfArchive::Failure& e) {
        ui.Message(DcfSaveFailureMessage(e.Kind()));
    } catch (const std::bad_alloc&) {
        ui.Message(kOutOfMemory);
    }
    return false;
}

bool LoadDcfPages(const std::string& name, const std::vector<CConfigPage*>& pages, UiHost& ui,
                  int32_t& version) {
    if (name.empty()) {
        ui.Message(kFilenameNotSpecified);
        return false;
    }
    int fd;
    do {
        fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        ui.Message(kCouldNotOpen);
        return false;
    }
    FdCloser closer{fd};
    try {
        auto ar = CDcfArchive::ForLoadingFile(fd);
        int32_t fileVersion = ar.ReadInt32();
        if (fileVersion < 1 || fileVersion > kDcfVersion) {
            ui.Message(kUnknownFormat);
            return false;
        }
        version = fileVersion;
        for (CConfigPage* page : pages)
            page->ExchangeDcf(ar);
        return true;
    } catch (const CDcfArchive::Failure& e) {
        ui.Message(DcfLoadFailureMessage(e.Kind()));
    } catch (const std::bad_alloc&) {
        ui.Message(kOutOfMemory);
    }
    return false;
}

std::string TextOfPages(const std::vector<CConfigPage*>& pages, QorDoc& doc) {
    CTextOutFile out;
    WriteText(out, kTextHeader);
    WriteText(out, kTextVersion);
    for (CConfigPage* page : pages)
        page->WriteSection(out, doc);
    return out.Text();
}

bool SaveTextPages(const std::string& name, const std::vector<CConfigPage*>& pages, QorDoc& doc,
                   UiHost& ui) {
    CSafeFileWriter file;
    if (!CreateForSaving(name, ui, file))
        return false;
    try {
        return WriteAll(TextOfPages(pages, doc), ui, file);
    } catch (const std::bad_alloc&) {
        ui.Message(kOutOfMemory);
    }
    return false;
}

namespace {

// The pages read their sections from an open reader.
TextLoadOutcome ReadTextPages(CConfigTextReader& reader, const std::vector<CConfigPage*>& pages,
                              UiHost& ui, std::string& contentError) {
    try {
        for (CConfigPage* page : pages)
            page->ReadSection(reader);
        return TextLoadOutcome::Loaded;
    } catch (const ZUVException& e) {
        contentError = e.Message();
        return TextLoadOutcome::ContentError;
    } catch (const CTextReadError&) {
        ui.Message(kUnableToRead);
    } catch (const std::bad_alloc&) {
        ui.Message(kOutOfMemory);
    }
    return TextLoadOutcome::Failed;
}

}  // namespace

TextLoadOutcome LoadTextPages(const std::string& name, const std::vector<CConfigPage*>& pages,
                              UiHost& ui, std::string& contentError) {
    contentError.clear();
    if (name.empty()) {
        ui.Message(kFilenameNotSpecified);
        return TextLoadOutcome::Failed;
    }
    CConfigTextReader reader(ui, CConfigTextReader::kChunkSize);
    if (!reader.OpenFile(name)) {
        ui.Message(kCouldNotOpen);
        return TextLoadOutcome::Failed;
    }
    return ReadTextPages(reader, pages, ui, contentError);
}

TextLoadOutcome LoadTextPagesFromMemory(const std::string& text,
                                        const std::vector<CConfigPage*>& pages, UiHost& ui,
                                        std::string& contentError) {
    contentError.clear();
    CConfigTextReader reader(ui, CConfigTextReader::kChunkSize);
    reader.OpenText(text);
    return ReadTextPages(reader, pages, ui, contentError);
}

#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "files/dcf_archive.h"

class CConfigPage;
class QorDoc;
class UiHost;

// The save and load procedures of both configuration files, over the pages in tab order. Each
// shows its own failure message and returns false; true means the whole file was written or
// read. A save replaces the old file only when everything was written.

bool SaveDcfPages(const std::string& name, const std::vector<CConfigPage*>& pages, UiHost& ui);
// version receives the file's version (1..4) before the pages read, which consult it.
bool LoadDcfPages(const std::string& name, const std::vector<CConfigPage*>& pages, UiHost& ui,
                  int32_t& version);

// What a text save writes, without writing it anywhere.
std::string TextOfPages(const std::vector<CConfigPage*>& pages, QorDoc& doc);
bool SaveTextPages(const std::string& name, const std::vector<CConfigPage*>& pages, QorDoc& doc,
                   UiHost& ui);
enum class TextLoadOutcome {
    Loaded,
    // A reading step found the content in error. Nothing is shown: contentError holds the
    // message, which the caller shows (OK, no icon) after restoring the defaults.
    ContentError,
    // No name, no file, a read failure or no memory; the message has been shown.
    Failed,
};
TextLoadOutcome LoadTextPages(const std::string& name, const std::vector<CConfigPage*>& pages,
                              UiHost& ui, std::string& contentError);
// The same load of configuration text held in memory, as if it were a file's contents.
TextLoadOutcome LoadTextPagesFromMemory(const std::string& text,
                                        const std::vector<CConfigPage*>& pages, UiHost& ui,
                                        std::string& contentError);

// The messages of an archive failure while saving and while loading a .dcf file.
const char* DcfSaveFailureMessage(CDcfArchive::FailureKind kind);
const char* DcfLoadFailureMessage(CDcfArchive::FailureKind kind);

#include "cli/cli_console.h"

#include <cstdio>

CliConsole::CliConsole(bool progressLine) : progressLine_(progressLine) {}

void CliConsole::EraseLocked() {
    if (!drawn_) return;
    std::fputs("\r\033[K", stderr);
    drawn_ = false;
}

void CliConsole::DrawLocked() {
    if (!progressLine_ || progress_.empty()) return;
    std::fputs(progress_.c_str(), stderr);
    drawn_ = true;
    std::fflush(stderr);
}

void CliConsole::Block(const std::string& text) {
    std::lock_guard lock(mu_);
    EraseLocked();
    std::fputs(text.c_str(), stderr);
    if (text.empty() || text.back() != '\n') std::fputc('\n', stderr);
    std::fputc('\n', stderr);
    DrawLocked();
    std::fflush(stderr);
}

void CliConsole::Line(const std::string& text) {
    std::lock_guard lock(mu_);
    EraseLocked();
    std::fputs(text.c_str(), stderr);
    std::fputc('\n', stderr);
    DrawLocked();
    std::fflush(stderr);
}

void CliConsole::Progress(const std::string& text) {
    std::lock_guard lock(mu_);
    if (!progressLine_) return;
    EraseLocked();
    progress_ = text;
    DrawLocked();
    std::fflush(stderr);
}

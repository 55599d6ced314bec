#pragma once

#include <mutex>
#include <string>

// stderr as qorwctl shares it: message blocks, the progress line and trace lines. The trace
// comes from the serial reader thread too, so every write takes the lock; the progress line
// is erased before anything else is written and drawn again afterwards.
class CliConsole {
public:
    // progressLine: draw a progress line at all (stderr is a terminal and not --quiet).
    explicit CliConsole(bool progressLine);

    // One message, followed by an empty line.
    void Block(const std::string& text);
    // One line as it is, with its line end.
    void Line(const std::string& text);
    // Replaces the progress line; an empty text removes it.
    void Progress(const std::string& text);

private:
    void EraseLocked();
    void DrawLocked();

    std::mutex mu_;
    bool progressLine_;
    std::string progress_;
    bool drawn_ = false;
};

#pragma once

#include <functional>
#include <string>

// The progress window of the device operations, as a model: a small captioned window with one
// progress bar that exists only while an operation shows it. The GUI listens and follows.
class CProgressWnd {
  public:
    // Creates and shows the window; the step becomes 1 and the position the range's start.
    void Open();
    // Destroys the window.
    void Close();
    bool IsOpen() const { return open_; }

    void SetTitle(const std::string& title);
    const std::string& Title() const { return title_; }

    void SetRange(int lower, int upper);
    int Lower() const { return lower_; }
    int Upper() const { return upper_; }

    void SetPos(int pos);
    int Pos() const { return pos_; }
    void SetStep(int step) { step_ = step; }
    int Step() const { return step_; }
    // Advances by the step; the bar stays full once it reaches the end.
    void StepIt();

    // Installed by the view; called after every change.
    void SetListener(std::function<void()> listener) { listener_ = std::move(listener); }

  private:
    void Changed();

    bool open_ = false;
    std::string title_;
    int lower_ = 0;
    int upper_ = 100;
    int pos_ = 0;
    int step_ = 1;
    std::function<void()> listener_;
};

#include "host/progress.h"

#include <algorithm>

void CProgressWnd::Open() {
    open_ = true;
    step_ = 1;
    pos_ = lower_;
    Changed();
}

void CProgressWnd::Close() {
    if (!open_)
        return;
    open_ = false;
    Changed();
}

void CProgressWnd::SetTitle(const std::string& title) {
    title_ = title;
    Changed();
}

void CProgressWnd::SetRange(int lower, int upper) {
    lower_ = lower;
    upper_ = std::max(lower, upper);
    pos_ = std::clamp(pos_, lower_, upper_);
    Changed();
}

void CProgressWnd::SetPos(int pos) {
    pos_ = std::clamp(pos, lower_, upper_);
    Changed();
}

void CProgressWnd::StepIt() {
    SetPos(pos_ + step_);
}

void CProgressWnd::Changed() {
    if (listener_)
        listener_();
}

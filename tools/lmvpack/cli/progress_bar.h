// A one-line progress bar for long compressions, drawn on a terminal only.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

class ProgressBar {
  public:
    // Draws nothing unless `enabled` and `stream` is a terminal.
    ProgressBar(bool enabled, std::FILE* stream);
    ~ProgressBar();

    // `done` of `total` bytes are finished; `label` says what is being worked on. Redraws at
    // most a few times a second.
    void Update(uint64_t done, uint64_t total, const std::string& label);
    // Removes the bar, so that what is printed next starts on a clean line.
    void Clear();

  private:
    bool active_;
    bool drawn_ = false;
    std::FILE* stream_;
    std::chrono::steady_clock::time_point last_draw_{};
};

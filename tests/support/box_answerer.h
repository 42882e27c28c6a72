// Shared by the Wine tests: answers the launcher's message boxes from a
// second thread while the code under test shows them on its own.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

// Answers every box shown while it lives: reads the box's text, asks
// `answer` which button to click ("&OK", "&Cancel"); a caption that no
// button has closes the box through its caption bar instead.
class TBoxAnswerer {
 public:
  using TAnswer = std::function<std::string(const std::string& text)>;
  explicit TBoxAnswerer(TAnswer answer = [](const std::string&) { return "&OK"; })
      : answer_(std::move(answer)), thread_([this] { Run(); }) {}
  ~TBoxAnswerer() {
    stop_ = true;
    thread_.join();
  }
  std::vector<std::string> Texts() {
    std::lock_guard<std::mutex> lock(mutex_);
    return texts_;
  }

 private:
  void Run() {
    while (!stop_) {
      const HWND box = FindWindowA("OMsgBox", nullptr);
      if (box == nullptr || !IsWindowVisible(box)) {
        Sleep(20);
        continue;
      }
      // Let the box finish its buttons and paint its text before reading it.
      Sleep(150);
      DWORD_PTR ignored = 0;
      SendMessageTimeoutA(box, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &ignored);
      char text[8192] = {};
      const HWND textControl = FindWindowExA(box, nullptr, "RICHEDIT", nullptr);
      if (textControl != nullptr) GetWindowTextA(textControl, text, sizeof text);
      {
        std::lock_guard<std::mutex> lock(mutex_);
        texts_.push_back(text);
      }
      const std::string caption = answer_(text);
      const HWND button = FindWindowExA(box, nullptr, "Button", caption.c_str());
      if (button != nullptr) {
        SendMessageA(button, BM_CLICK, 0, 0);
      } else {
        PostMessageA(box, WM_CLOSE, 0, 0);
      }
      while (IsWindow(box) && !stop_) Sleep(10);
    }
  }

  TAnswer answer_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<std::string> texts_;
  std::thread thread_;
};

#include "util/debug_log.h"

#include <gtest/gtest.h>

#include <vector>

#include "files/file_ops.h"
#include "helper_programs.h"
#include "scratch.h"
#include "util/winapi.h"

namespace {

std::vector<std::string> gPieces;
UINT gDebugMessage = 0;

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == gDebugMessage && wParam == 1) {
    char name[256] = {};
    const UINT length = GlobalGetAtomNameA(static_cast<ATOM>(lParam), name, sizeof name);
    gPieces.emplace_back(name, length);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

// A viewer window of class ".ODebug." inside the test process: the device
// sends to it directly, so every piece is recorded before the write returns.
class ViewerWindow : public testing::Test {
 protected:
  void SetUp() override {
    gDebugMessage = RegisterWindowMessageA(".O_DebugMsg.");
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = RecordingProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = ".ODebug.";
    ASSERT_NE(RegisterClassA(&windowClass), 0);
    class_ = std::make_unique<TWindowClass>(".ODebug.", windowClass.hInstance);
    window_.reset(CreateWindowExA(0, ".ODebug.", "viewer", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                                  nullptr, windowClass.hInstance, nullptr));
    ASSERT_TRUE(window_);
    DebugFlush();
    gPieces.clear();
  }
  void TearDown() override {
    window_.reset();
    class_.reset();
  }

  static std::string Pid() { return std::to_string(GetCurrentProcessId()); }
  static std::string Joined() {
    std::string all;
    for (const auto& piece : gPieces) all += piece;
    return all;
  }

  std::unique_ptr<TWindowClass> class_;
  TWindow window_;
};

TEST_F(ViewerWindow, LinesArriveInPiecesOf128) {
  const struct {
    size_t lineLength;  // process id + text + CR LF
    std::vector<size_t> pieces;
  } cases[] = {
      {302, {128, 128, 46}}, {128, {128}}, {129, {128, 1}}, {256, {128, 128}}, {20, {20}},
  };
  for (const auto& c : cases) {
    gPieces.clear();
    const std::string text = " " + std::string(c.lineLength - Pid().size() - 3, 'x');
    DebugLine(text);
    std::vector<size_t> sizes;
    for (const auto& piece : gPieces) sizes.push_back(piece.size());
    EXPECT_EQ(sizes, c.pieces) << "line of " << c.lineLength;
    EXPECT_EQ(Joined(), Pid() + text + "\r\n");
  }
}

TEST_F(ViewerWindow, RawWritesWaitForLineEndOrFlush) {
  DebugWrite("no line end yet");
  EXPECT_TRUE(gPieces.empty());
  DebugWrite(" - now\r\nsecond\r\n\r\n");
  EXPECT_EQ(gPieces, (std::vector<std::string>{"no line end yet - now\r\n", "second\r\n", "\r\n"}));
  gPieces.clear();
  DebugWrite("tail");
  DebugFlush();
  EXPECT_EQ(gPieces, std::vector<std::string>{"tail"});
  DebugFlush();  // nothing buffered: nothing sent
  EXPECT_EQ(gPieces.size(), 1u);
}

TEST_F(ViewerWindow, TextAnAtomCannotHoldArrivesWhole) {
  const struct {
    std::string written;
    std::string arrives;
  } cases[] = {
      {"#123", "#123"},  // would name integer atom 123
      {"#0", "#0"},      // would be refused
      {"#65536", "#65536"},
      {"#12a", "#12a"},
      {"#", "#"},
      {std::string("a\0b\r\n", 5), "ab\r\n"},  // a zero byte would cut the name
      {std::string("\0\0", 2), ""},
  };
  for (const auto& c : cases) {
    gPieces.clear();
    DebugWrite(c.written);
    DebugFlush();
    EXPECT_EQ(Joined(), c.arrives);
  }
}

TEST_F(ViewerWindow, BatchedLinesArriveInOrderAndLeaveNoAtoms) {
  // More lines than a batch leaves unanswered at a time, nested batches,
  // and a message pump in between, as during an extraction.
  std::string expected;
  std::vector<std::string> texts;
  {
    TDebugBatch outer;
    for (int i = 0; i < 600; ++i) {
      TDebugBatch inner;
      texts.push_back(" batched line " + std::to_string(i));
      DebugLine(texts.back());
      expected += Pid() + texts.back() + "\r\n";
      if (i % 50 == 0) PumpMessage();
    }
  }
  EXPECT_EQ(gPieces.size(), texts.size());
  EXPECT_EQ(Joined(), expected);
  // Every atom is gone once the last batch has ended.
  for (const auto& text : texts) {
    EXPECT_EQ(GlobalFindAtomA((Pid() + text + "\r\n").c_str()), 0) << text;
  }
}

TEST(NoViewer, WritingWithoutViewerIsHarmless) {
  ASSERT_EQ(FindWindowA(".ODebug.", nullptr), nullptr);
  DebugLine(" ==== nobody listens ====");
  DebugLine(std::string(1000, 'y'));
  DebugWrite("partial");
  DebugFlush();
  SUCCEED();
}

TEST(Viewer, StoresLinesOfAnotherProcess) {
  const TScratch scratch;
  const struct {
    const char* options;
    bool stamped;
  } runs[] = {{"", false}, {"--stamp ", true}};
  for (const auto& run : runs) {
    const std::string ready = scratch.Path("viewer ready.txt");
    const std::string log = scratch.Path("viewer log.txt");
    DeleteFileA(ready.c_str());
    DeleteFileA(log.c_str());
    THandle viewer = StartProgram("\"" + ProductPath("orvane-debug.exe") + "\" " + run.options +
                                  "--ready \"" + ready + "\" \"" + log + "\"");
    ASSERT_TRUE(viewer);
    ASSERT_TRUE(WaitUntil(
        [&] { return GetFileAttributesA(ready.c_str()) != INVALID_FILE_ATTRIBUTES; }, 20000));

    const std::string longText = " " + std::string(299, 'L');
    DWORD writerId = 0;
    THandle writer = StartProgram("\"" + HelperPath("debug_writer.exe") +
                                      "\" \" ==== STUB START ====>\" \" two\" \"" + longText + "\"",
                                  &writerId);
    ASSERT_TRUE(WaitForEnd(writer, 20000));
    PostMessageA(FindWindowA(".ODebug.", nullptr), WM_CLOSE, 0, 0);
    ASSERT_TRUE(WaitForEnd(viewer, 20000));

    std::string stored = ReadAll(log);
    if (run.stamped) {
      // Each piece carries "[ticks] "; five lines give six pieces.
      int stamps = 0;
      for (size_t open = stored.find('['); open != std::string::npos; open = stored.find('[')) {
        const size_t close = stored.find("] ", open);
        ASSERT_NE(close, std::string::npos);
        for (size_t i = open + 1; i < close; ++i) ASSERT_TRUE(isdigit(stored[i])) << stored;
        stored.erase(open, close + 2 - open);
        ++stamps;
      }
      EXPECT_EQ(stamps, 6);
    }
    const std::string pid = std::to_string(writerId);
    EXPECT_EQ(stored,
              pid + " ==== STUB START ====>\r\n" + pid + " two\r\n" + pid + longText + "\r\n\r\n");
  }
}

}  // namespace

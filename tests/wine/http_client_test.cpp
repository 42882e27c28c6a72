// The HTTP client against a loopback nginx (ranges as a real server sends
// them) and a fault-injecting server (tests/tools/fault_server.py), both
// started by winerun.sh with ORVANE_HTTP_SERVERS=1.
#include "update/http_client.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "bytes.h"
#include "files/file_ops.h"
#include "helper_programs.h"
#include "scratch.h"
#include "update/download_rules.h"
#include "update/wininet_api.h"
#include "util/file_io.h"
#include "util/winapi.h"

namespace {

constexpr int32_t kBig = 5 * 1024 * 1024;
constexpr int32_t kCut = 2 * 1024 * 1024;

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

std::string NginxUrl(const std::string& name) { return Env("ORVANE_NGINX_URL") + "/" + name; }
std::string FaultUrl(const std::string& faults, const std::string& name) {
  return Env("ORVANE_FAULT_URL") + "/m/" + faults + "/" + name;
}

void Serve(const std::string& name, const std::string& bytes) {
  ASSERT_TRUE(WriteAll(ZDrivePath(Env("ORVANE_HTTP_ROOT")) + "\\" + name, bytes));
}

std::vector<std::string> LogLines(const char* envName) {
  std::vector<std::string> lines;
  const std::string text = ReadAll(ZDrivePath(Env(envName)));
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

// The log lines that mention `needle`.
std::vector<std::string> LogLinesWith(const char* envName, const std::string& needle) {
  std::vector<std::string> found;
  for (const std::string& line : LogLines(envName)) {
    if (line.find(needle) != std::string::npos) found.push_back(line);
  }
  return found;
}

std::vector<std::string> FilesMatching(const std::string& mask) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA entry;
  const HANDLE find = FindFirstFileA(mask.c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    names.push_back(entry.cFileName);
  } while (FindNextFileA(find, &entry));
  FindClose(find);
  return names;
}

// The partial files of target `name` in `folder`: "name.*" without the
// target itself, which that mask also matches.
std::vector<std::string> PartialFiles(const std::string& folder, const std::string& name) {
  std::vector<std::string> partial;
  for (const std::string& found : FilesMatching(folder + name + ".*")) {
    if (found != name) partial.push_back(found);
  }
  return partial;
}

struct TProgressCall {
  int kind, rangeMax, position;
  std::string text;
};
std::vector<TProgressCall> progressCalls;
// The transfer is stopped once this many bytes are done (0 = never).
int32_t abortAfter = 0;

void RecordProgress(int kind, int, int rangeMax, int position, int, const std::string& text) {
  progressCalls.push_back({kind, rangeMax, position, text});
  if (abortAfter > 0 && std::atoi(text.c_str()) >= abortAfter) DownloadAbortRequested = true;
}

class HttpClientTest : public TScratchFolderTest {
 protected:
  void SetUp() override {
    ASSERT_FALSE(Env("ORVANE_NGINX_URL").empty())
        << "run through winerun.sh with ORVANE_HTTP_SERVERS=1";
    DownloadAbortRequested = false;
    progressCalls.clear();
    abortAfter = 0;
  }
  void TearDown() override { DownloadAbortRequested = false; }

  // Downloads into folder_ + name; returns the error text.
  std::string Download(const std::string& url, const std::string& name) {
    TPartialFileSink sink(folder_ + name);
    return DownloadErrorText(
        InternetDownload(nullptr, url, sink, RecordProgress, DownloadAbortRequested), url);
  }

  const std::string folder_ = Path("");
};

TEST_F(HttpClientTest, SizeQuery) {
  Serve("size.bin", RandomBytes(123457, 1));
  EXPECT_EQ(QueryRemoteFileSize(NginxUrl("size.bin")), 123457);
  EXPECT_EQ(QueryRemoteFileSize(FaultUrl("nolength", "size.bin")), -1);
  // Nothing listens on port 1 of the loopback.
  EXPECT_EQ(QueryRemoteFileSize("http://127.0.0.1:1/size.bin"), -1);
}

TEST_F(HttpClientTest, ConnectionTestSeesTheLoopbackNetwork) { EXPECT_TRUE(IsInternetConnected()); }

TEST_F(HttpClientTest, DownloadIntoMemory) {
  const std::string body = RandomBytes(300000, 2);
  Serve("memory.bin", body);
  std::string content = "stale";
  TMemorySink sink(content);
  EXPECT_TRUE(InternetDownload(nullptr, NginxUrl("memory.bin"), sink, RecordProgress,
                               DownloadAbortRequested)
                  .Ok());
  EXPECT_TRUE(content == body) << content.size();
  ASSERT_FALSE(progressCalls.empty());
  // 300000 bytes in chunks of 10240: range 29 + 1, starting at 0.
  EXPECT_EQ(progressCalls.front().kind, 0);
  EXPECT_EQ(progressCalls.front().rangeMax, 30);
  EXPECT_EQ(progressCalls.front().position, 0);
  EXPECT_EQ(progressCalls.back().text.rfind("300000/300000 Bytes   ", 0), 0u)
      << progressCalls.back().text;
  for (size_t i = 1; i < progressCalls.size(); ++i) EXPECT_EQ(progressCalls[i].kind, 1);
  EXPECT_GE(progressCalls.size(), 31u);
}

TEST_F(HttpClientTest, DownloadIntoFileIsByteIdenticalAndLeavesNoPartialFile) {
  const std::string body = RandomBytes(kBig, 3);
  Serve("file.bin", body);
  EXPECT_EQ(Download(NginxUrl("file.bin"), "file.bin"), "");
  EXPECT_TRUE(ReadAll(folder_ + "file.bin") == body);
  EXPECT_TRUE(PartialFiles(folder_, "file.bin").empty());
}

TEST_F(HttpClientTest, TinyResourcesArrive) {
  Serve("tiny.txt", "abc");
  EXPECT_EQ(Download(NginxUrl("tiny.txt"), "tiny.txt"), "");
  EXPECT_EQ(ReadAll(folder_ + "tiny.txt"), "abc");
  ASSERT_FALSE(progressCalls.empty());
  EXPECT_EQ(progressCalls.front().rangeMax, 4);  // one step per byte
  EXPECT_EQ(progressCalls.size(), 4u);

  Serve("one.txt", "x");
  std::string content;
  TMemorySink sink(content);
  EXPECT_TRUE(
      InternetDownload(nullptr, NginxUrl("one.txt"), sink, nullptr, DownloadAbortRequested).Ok());
  EXPECT_EQ(content, "x");
}

TEST_F(HttpClientTest, AbortedDownloadResumesWithTheMissingBytesOnly) {
  const std::string body = RandomBytes(kBig, 4);
  Serve("resume.bin", body);
  abortAfter = kCut;
  EXPECT_EQ(Download(NginxUrl("resume.bin"), "resume.bin"), "Download Aborted");
  EXPECT_FALSE(FileExists(folder_ + "resume.bin"));
  const std::vector<std::string> partial = PartialFiles(folder_, "resume.bin");
  ASSERT_EQ(partial.size(), 1u);
  const int64_t kept = FileSizeOf(folder_ + partial[0]);
  EXPECT_GE(kept, kCut);
  EXPECT_LT(kept, kBig);
  EXPECT_TRUE(ReadAll(folder_ + partial[0]) == body.substr(0, kept));

  abortAfter = 0;
  DownloadAbortRequested = false;
  progressCalls.clear();
  EXPECT_EQ(Download(NginxUrl("resume.bin"), "resume.bin"), "");
  EXPECT_TRUE(ReadAll(folder_ + "resume.bin") == body);
  EXPECT_TRUE(PartialFiles(folder_, "resume.bin").empty());
  ASSERT_FALSE(progressCalls.empty());
  EXPECT_EQ(progressCalls.front().position, ProgressPosition(static_cast<int32_t>(kept), 10240));

  const std::string rest = "range=\"bytes=" + std::to_string(kept) +
                           "-\" status=206 sent=" + std::to_string(kBig - kept);
  EXPECT_EQ(LogLinesWith("ORVANE_NGINX_LOG", rest).size(), 1u)
      << "the resumed attempt fetches exactly the missing bytes";
}

TEST_F(HttpClientTest, ShortTransferIsNotRenamedAndResumesFromAnotherServer) {
  const std::string body = RandomBytes(kBig, 5);
  Serve("short.bin", body);
  const std::string cut = FaultUrl("cut=" + std::to_string(kCut), "short.bin");
  EXPECT_EQ(Download(cut, "short.bin"), cut + "<P><P>Unable to Download File!");
  EXPECT_FALSE(FileExists(folder_ + "short.bin"));
  const std::vector<std::string> partial = PartialFiles(folder_, "short.bin");
  ASSERT_EQ(partial.size(), 1u);
  EXPECT_EQ(FileSizeOf(folder_ + partial[0]), kCut);

  // nginx serves the same file with the same length and date.
  EXPECT_EQ(Download(NginxUrl("short.bin"), "short.bin"), "");
  EXPECT_TRUE(ReadAll(folder_ + "short.bin") == body);
  EXPECT_EQ(
      LogLinesWith("ORVANE_NGINX_LOG", "/short.bin range=\"bytes=" + std::to_string(kCut) +
                                           "-\" status=206 sent=" + std::to_string(kBig - kCut))
          .size(),
      1u);
}

TEST_F(HttpClientTest, ServerWithoutRangesRestartsFromTheStart) {
  const std::string body = RandomBytes(kBig, 6);
  Serve("norange.bin", body);
  const std::string cut = FaultUrl("norange,cut=" + std::to_string(kCut), "norange.bin");
  EXPECT_EQ(Download(cut, "norange.bin"), cut + "<P><P>Unable to Download File!");
  ASSERT_EQ(PartialFiles(folder_, "norange.bin").size(), 1u);

  EXPECT_EQ(Download(FaultUrl("norange", "norange.bin"), "norange.bin"), "");
  EXPECT_TRUE(ReadAll(folder_ + "norange.bin") == body);
  EXPECT_TRUE(PartialFiles(folder_, "norange.bin").empty());
  // The range request was answered with the whole file, so the client asked
  // once more without a range and took the body from the start.
  const std::vector<std::string> second =
      LogLinesWith("ORVANE_FAULT_LOG", "/m/norange/norange.bin");
  ASSERT_EQ(second.size(), 3u);
  EXPECT_NE(second[0].find("range=\"\""), std::string::npos) << second[0];
  EXPECT_NE(second[1].find("range=\"bytes=" + std::to_string(kCut) + "-\" status=200"),
            std::string::npos)
      << second[1];
  EXPECT_NE(second[2].find("range=\"\" status=200 sent=" + std::to_string(kBig)), std::string::npos)
      << second[2];
}

TEST_F(HttpClientTest, ChangedFileDeletesTheOldPartialAndStartsAfresh) {
  const std::string body = RandomBytes(1048576, 7);
  Serve("changed.bin", body);
  const std::string cut = FaultUrl("version=1,cut=500000", "changed.bin");
  EXPECT_EQ(Download(cut, "changed.bin"), cut + "<P><P>Unable to Download File!");
  const std::vector<std::string> oldPartial = PartialFiles(folder_, "changed.bin");
  ASSERT_EQ(oldPartial.size(), 1u);

  EXPECT_EQ(Download(FaultUrl("version=2", "changed.bin"), "changed.bin"), "");
  EXPECT_TRUE(ReadAll(folder_ + "changed.bin") == body.substr(14));
  EXPECT_TRUE(PartialFiles(folder_, "changed.bin").empty());
  const std::vector<std::string> fresh = LogLinesWith("ORVANE_FAULT_LOG", "/m/version=2/");
  ASSERT_EQ(fresh.size(), 1u);
  EXPECT_NE(fresh[0].find("range=\"\" status=200"), std::string::npos) << fresh[0];
}

TEST_F(HttpClientTest, CompletePartialFileIsMovedWithoutFetchingAgain) {
  const std::string body = RandomBytes(400000, 8);
  Serve("complete.bin", body);
  abortAfter = 100000;
  EXPECT_EQ(Download(NginxUrl("complete.bin"), "complete.bin"), "Download Aborted");
  const std::vector<std::string> partial = PartialFiles(folder_, "complete.bin");
  ASSERT_EQ(partial.size(), 1u);
  const std::string partialPath = folder_ + partial[0];
  const int64_t kept = FileSizeOf(partialPath);
  ASSERT_TRUE(AppendToFile(partialPath, body.substr(static_cast<size_t>(kept)), 0));

  abortAfter = 0;
  DownloadAbortRequested = false;
  EXPECT_EQ(Download(NginxUrl("complete.bin"), "complete.bin"), "");
  EXPECT_TRUE(ReadAll(folder_ + "complete.bin") == body);
  EXPECT_FALSE(FileExists(partialPath));
  EXPECT_TRUE(LogLinesWith("ORVANE_NGINX_LOG", "/complete.bin range=\"bytes=").empty());
}

TEST_F(HttpClientTest, NoContentLengthIsFileNotFound) {
  Serve("nolength.bin", RandomBytes(5000, 9));
  const std::string url = FaultUrl("nolength", "nolength.bin");
  EXPECT_EQ(Download(url, "nolength.bin"), url + "<P><P>File Not Found !");
  EXPECT_TRUE(FilesMatching(folder_ + "nolength.bin*").empty());
  EXPECT_TRUE(progressCalls.empty());
}

TEST_F(HttpClientTest, UnreachableServerCannotBeOpened) {
  const std::string url = "http://127.0.0.1:1/x.bin";
  EXPECT_EQ(Download(url, "x.bin"), "Unable to open URL: " + url);
}

TEST_F(HttpClientTest, ErrorPageWithALengthIsDownloadedLikeAFile) {
  const std::string page = "<html><body><h1>404 Not Found</h1></body></html>";
  Serve("page.html", page);
  EXPECT_EQ(Download(FaultUrl("status=404", "page.html"), "setup.exe"), "");
  EXPECT_EQ(ReadAll(folder_ + "setup.exe"), page);
}

// A window whose close request stops the download, as the main window's does.
LRESULT CALLBACK AbortingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_TIMER) {
    KillTimer(window, 1);
    PostMessageA(window, WM_CLOSE, 0, 0);
    return 0;
  }
  if (message == WM_CLOSE) {
    DownloadAbortRequested = true;
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

TEST_F(HttpClientTest, CloseRequestDuringASlowBodyAbortsTheDownload) {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = AbortingWindowProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "OrvaneHttpClientTestWindow";
  ASSERT_NE(RegisterClassA(&windowClass), 0);
  const HWND window = CreateWindowA(windowClass.lpszClassName, "", WS_OVERLAPPEDWINDOW, 0, 0, 200,
                                    100, nullptr, nullptr, windowClass.hInstance, nullptr);
  ASSERT_NE(window, nullptr);
  EXPECT_FALSE(IsWindowVisible(window));
  SetTimer(window, 1, 400, nullptr);

  const std::string body = RandomBytes(1048576, 10);
  Serve("slow.bin", body);
  const DWORD start = GetTickCount();
  TPartialFileSink sink(folder_ + "slow.bin");
  const TDownloadResult result = InternetDownload(window, FaultUrl("slow=2048", "slow.bin"), sink,
                                                  RecordProgress, DownloadAbortRequested);
  const DWORD elapsed = GetTickCount() - start;
  EXPECT_EQ(result.Status, TDownloadStatus::kCancelled);
  EXPECT_TRUE(IsWindowVisible(window)) << "shown once the size is known";
  // The whole body would take about ten seconds at this pace.
  EXPECT_LT(elapsed, 5000u);
  EXPECT_FALSE(FileExists(folder_ + "slow.bin"));
  const std::vector<std::string> partial = PartialFiles(folder_, "slow.bin");
  ASSERT_EQ(partial.size(), 1u);
  const int64_t kept = FileSizeOf(folder_ + partial[0]);
  EXPECT_GT(kept, 0);
  EXPECT_TRUE(ReadAll(folder_ + partial[0]) == body.substr(0, static_cast<size_t>(kept)));
  DestroyWindow(window);
  UnregisterClassA(windowClass.lpszClassName, windowClass.hInstance);
}

uint32_t fakeTick = 0;
uint32_t FakeTick() { return fakeTick; }

TEST(RefreshTestModeTest, RegistryIsReadWhenForcedOrAfter30Seconds) {
  const std::string key = "HKEY_CURRENT_USER\\Software\\Tirabelo\\Orvane\\AutoUpdate";
  SetDownloadTickSource(FakeTick);
  ASSERT_TRUE(RegWriteValue(key, "TestMode", "1"));
  ASSERT_TRUE(RegWriteValue(key, "TestModeURL", "C:\\Updates"));

  struct Step {
    uint32_t tick;
    bool force;
    const char* registryValue;  // written before the call; null = unchanged
    bool testMode;
    const char* url;
  } steps[] = {
      {100000, false, nullptr, true, "C:\\Updates"},  // long after the start
      {110000, false, "0", true, "C:\\Updates"},      // within 30 s: not read
      {125000, true, nullptr, false, "C:\\Updates"},  // forced
      {150000, false, "1", false, "C:\\Updates"},     // 25 s after the forced call
      {180001, false, nullptr, true, "C:\\Updates"},  // 30.001 s after the previous
      {180002, false, "0", true, "C:\\Updates"},     {180002, true, nullptr, false, "C:\\Updates"},
  };
  for (const Step& step : steps) {
    if (step.registryValue != nullptr)
      ASSERT_TRUE(RegWriteValue(key, "TestMode", step.registryValue));
    fakeTick = step.tick;
    EXPECT_EQ(RefreshTestMode(step.force), step.testMode) << step.tick;
    EXPECT_EQ(TestMode, step.testMode) << step.tick;
    EXPECT_EQ(*TestModeURL, step.url) << step.tick;
  }

  // A DWORD value reads as its decimal, and a missing value means off.
  const DWORD one = 1;
  const TRegPath path = SplitRegPath(key);
  HKEY handle = nullptr;
  ASSERT_EQ(RegOpenKeyExA(path.root, path.subKey.c_str(), 0, KEY_ALL_ACCESS, &handle),
            ERROR_SUCCESS);
  RegSetValueExA(handle, "TestMode", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof one);
  EXPECT_TRUE(RefreshTestMode(true));
  RegDeleteValueA(handle, "TestMode");
  RegDeleteValueA(handle, "TestModeURL");
  RegCloseKey(handle);
  EXPECT_FALSE(RefreshTestMode(true));
  EXPECT_EQ(*TestModeURL, "");
  SetDownloadTickSource(nullptr);
}

}  // namespace

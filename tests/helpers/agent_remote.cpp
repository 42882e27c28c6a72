// Test helper: plays the installed application that steers a running agent.
//
//   agent_remote.exe --out FILE ACTION...
//
// Actions, run in order; each appends one line to FILE:
//   --send CLASS CODE VALUE   sends the agent command message (WM_USER + 101)
//                             to the top-level window of CLASS and writes
//                             "CODE=reply" (reply as a signed 32-bit
//                             decimal), or "CODE=nowindow" / "CODE=timeout"
//   --wait-reply CLASS CODE VALUE MS
//                             sends CODE repeatedly (every 20 ms, up to MS
//                             milliseconds) until the reply is VALUE; writes
//                             "wait CODE=VALUE reached" or "... timeout"
//   --message NAME            writes "message=N", the registered window
//                             message number of NAME
//   --count CLASS             writes "count=N pids=p1,p2" for the top-level
//                             windows of CLASS
// Exit code 0 when every action ran, 2 for bad options.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr UINT kAgentCommand = WM_USER + 101;
constexpr UINT kSendTimeoutMs = 5000;

bool Append(const std::string& file, const std::string& line) {
  FILE* out = std::fopen(file.c_str(), "ab");
  if (out == nullptr) return false;
  const std::string text = line + "\n";
  std::fwrite(text.data(), 1, text.size(), out);
  std::fclose(out);
  return true;
}

// "reply", "nowindow" or "timeout"; the reply as the 32-bit value it is.
std::string SendCommand(const std::string& className, long code, long value, long* reply) {
  const HWND agent = FindWindowA(className.c_str(), nullptr);
  if (agent == nullptr) return "nowindow";
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutA(agent, kAgentCommand, static_cast<WPARAM>(code),
                           static_cast<LPARAM>(value), SMTO_NORMAL, kSendTimeoutMs, &result)) {
    return "timeout";
  }
  *reply = static_cast<long>(static_cast<int32_t>(result));
  return std::to_string(*reply);
}

struct TCount {
  std::string className;
  int count = 0;
  std::string pids;
};

BOOL CALLBACK CountWindow(HWND window, LPARAM lParam) {
  auto* count = reinterpret_cast<TCount*>(lParam);
  char className[256] = {};
  GetClassNameA(window, className, sizeof(className));
  if (lstrcmpiA(className, count->className.c_str()) != 0) return TRUE;
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (count->count++ > 0) count->pids += ",";
  count->pids += std::to_string(pid);
  return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || std::string(argv[1]) != "--out") return 2;
  const std::string out = argv[2];
  for (int i = 3; i < argc; ++i) {
    const std::string action = argv[i];
    const int left = argc - i - 1;
    if (action == "--send" && left >= 3) {
      const long code = std::atol(argv[i + 2]);
      long reply = 0;
      const std::string answer = SendCommand(argv[i + 1], code, std::atol(argv[i + 3]), &reply);
      Append(out, std::to_string(code) + "=" + answer);
      i += 3;
    } else if (action == "--wait-reply" && left >= 4) {
      const long code = std::atol(argv[i + 2]);
      const long wanted = std::atol(argv[i + 3]);
      const DWORD limit = static_cast<DWORD>(std::atol(argv[i + 4]));
      const DWORD started = GetTickCount();
      bool reached = false;
      do {
        long reply = 0;
        const std::string answer = SendCommand(argv[i + 1], code, 0, &reply);
        reached = answer != "nowindow" && answer != "timeout" && reply == wanted;
        if (!reached) Sleep(20);
      } while (!reached && GetTickCount() - started < limit);
      Append(out, "wait " + std::to_string(code) + "=" + std::to_string(wanted) +
                      (reached ? " reached" : " timeout"));
      i += 4;
    } else if (action == "--message" && left >= 1) {
      Append(out, "message=" + std::to_string(RegisterWindowMessageA(argv[i + 1])));
      i += 1;
    } else if (action == "--count" && left >= 1) {
      TCount count;
      count.className = argv[i + 1];
      EnumWindows(CountWindow, reinterpret_cast<LPARAM>(&count));
      Append(out, "count=" + std::to_string(count.count) + " pids=" + count.pids);
      i += 1;
    } else {
      return 2;
    }
  }
  return 0;
}

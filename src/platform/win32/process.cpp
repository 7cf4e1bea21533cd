// Starting a program with CreateProcessW and waiting for it while the window
// stays responsive. The program runs in a job object, so that a program that
// does not end in time is stopped together with whatever it started.
#include "platform/process.h"
#include "platform/win32/bounded_run.h"

#include <algorithm>
#include <chrono>
#include <string>

#include "platform/win32/wide_text.h"
#include "platform/win32/windows_api.h"

namespace sorana::platform {

namespace {

// A program that has not ended by then is not going to: it is stopped.
constexpr std::chrono::milliseconds kRunBound = std::chrono::seconds(60);
constexpr DWORD kSliceMs = 100;

// Owns a handle; closes it at scope exit.
class Owned {
 public:
  explicit Owned(HANDLE h = nullptr) : h_(h) {}
  ~Owned() {
    if (h_ != nullptr) CloseHandle(h_);
  }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  HANDLE Get() const { return h_; }

 private:
  HANDLE h_;
};

// A job whose processes all end when its last handle closes.
HANDLE NewKillOnCloseJob() {
  HANDLE job = CreateJobObjectW(nullptr, nullptr);
  if (job == nullptr) return nullptr;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
  return job;
}

// Waits for the process, handing window messages to the pump as they come.
// False when the bound passed first.
bool WaitPumping(HANDLE process, const std::function<void(int maxWaitMs)>& pump, std::chrono::milliseconds bound) {
  const auto deadline = std::chrono::steady_clock::now() + bound;
  while (true) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    DWORD slice = std::min<DWORD>(kSliceMs, static_cast<DWORD>(left.count()));
    DWORD woke = pump ? MsgWaitForMultipleObjects(1, &process, FALSE, slice, QS_ALLINPUT)
                      : WaitForSingleObject(process, slice);
    if (woke == WAIT_OBJECT_0) return true;
    if (woke == WAIT_FAILED) return WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
    if (woke != WAIT_OBJECT_0 + 1) continue;  // the slice passed
    const auto start = std::chrono::steady_clock::now();
    pump(0);
    // A pump that left the messages where they were would wake the wait at
    // once again: a short wait on the process alone keeps that from spinning.
    if (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(1) &&
        WaitForSingleObject(process, 10) == WAIT_OBJECT_0) {
      return true;
    }
  }
}

}  // namespace

bool RunAndWait(std::string_view commandLine, const std::function<void(int maxWaitMs)>& pump) {
  return win32::RunBounded(commandLine, pump, kRunBound);
}

bool win32::RunBounded(std::string_view commandLine, const std::function<void(int maxWaitMs)>& pump,
                       std::chrono::milliseconds bound) {
  std::optional<std::wstring> wide = win32::Widen(commandLine);
  if (!wide || wide->empty()) return false;
  Owned job(NewKillOnCloseJob());

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  // CreateProcessW may write into the command line: it gets its own copy.
  std::wstring mutableLine = *wide;
  if (!CreateProcessW(nullptr, mutableLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr,
                      &startup, &info)) {
    return false;
  }
  Owned process(info.hProcess);
  Owned thread(info.hThread);
  // Outside a job (when this program itself runs in one that forbids nesting)
  // only the program itself can be stopped.
  bool inJob = job.Get() != nullptr && AssignProcessToJobObject(job.Get(), process.Get());
  ResumeThread(thread.Get());

  if (WaitPumping(process.Get(), pump, bound)) return true;
  if (inJob) TerminateJobObject(job.Get(), 1);
  TerminateProcess(process.Get(), 1);
  WaitForSingleObject(process.Get(), 5000);
  return false;
}

}  // namespace sorana::platform

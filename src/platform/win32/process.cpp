// Starting a program with CreateProcessW and waiting for it while the window
// stays responsive (the program runs directly: this is Windows). The program runs in a job object, so that a
// program that does not end in time is stopped together with whatever it started.
#include "platform/process.h"

#include <algorithm>
#include <chrono>
#include <string>

#include "platform/win32/wide_text.h"
#include "platform/win32/windows_api.h"

namespace sorana::platform {

namespace {

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
// False when the bound passed or the wait was given up first.
bool WaitPumping(HANDLE process, const ProcessWait& wait) {
  const std::function<void(int maxWaitMs)>& pump = wait.pump;
  const auto now = std::chrono::steady_clock::now();
  const auto deadline = wait.bound >= std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::time_point::max() - now)
                            ? std::chrono::steady_clock::time_point::max()
                            : now + wait.bound;
  while (true) {
    if (wait.keepWaiting && !wait.keepWaiting()) return false;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
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

RunOutcome RunAndWait(std::string_view commandLine, const ProcessWait& wait) {
  std::optional<std::wstring> wide = win32::Widen(commandLine);
  if (!wide || wide->empty()) return RunOutcome::NotStarted;
  Owned job(NewKillOnCloseJob());

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  // CreateProcessW may write into the command line: it gets its own copy.
  std::wstring mutableLine = *wide;
  if (!CreateProcessW(nullptr, mutableLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                      nullptr, &startup, &info)) {
    return RunOutcome::NotStarted;
  }
  Owned process(info.hProcess);
  Owned thread(info.hThread);
  // Outside a job (when this program itself runs in one that forbids nesting)
  // only the program itself can be stopped.
  bool inJob = job.Get() != nullptr && AssignProcessToJobObject(job.Get(), process.Get());
  ResumeThread(thread.Get());

  if (WaitPumping(process.Get(), wait)) return RunOutcome::Exited;
  if (inJob) TerminateJobObject(job.Get(), 1);
  TerminateProcess(process.Get(), 1);
  WaitForSingleObject(process.Get(), 5000);
  return RunOutcome::Ended;
}

}  // namespace sorana::platform

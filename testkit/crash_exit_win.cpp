#include "testkit/crash_exit_win.h"

#include <windows.h>

#include <cstdio>

namespace quorvel::testing {

namespace {

LONG WINAPI OnCrash(EXCEPTION_POINTERS* exception) {
  char path[MAX_PATH] = {};
  ::GetModuleFileNameA(/*hModule=*/nullptr, path, MAX_PATH);
  const char* name = path;
  for (const char* c = path; *c != '\0'; ++c) {
    if (*c == '\\' || *c == '/') name = c + 1;
  }
  std::fprintf(stderr, "%s: crashed, exception 0x%08lX at %p\n", name,
               exception->ExceptionRecord->ExceptionCode,
               exception->ExceptionRecord->ExceptionAddress);
  std::fflush(stderr);
  ::TerminateProcess(::GetCurrentProcess(), 3);
  return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

bool ExitOnCrash() {
  ::SetUnhandledExceptionFilter(OnCrash);
  return true;
}

}  // namespace quorvel::testing

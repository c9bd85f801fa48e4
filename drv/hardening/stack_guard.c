/* The stack protector's guard value and its failure routine, linked into every program and DLL
 * of the Windows build in place of the compiler's runtime library (libssp). That library seeds
 * the guard at load time through the cryptographic provider, which loads further DLLs before the
 * installer has restricted its DLL search to the system directory: a DLL planted beside the
 * package could then be loaded into an elevated process. Here the guard is mixed, at load time,
 * from values kernel32 gives without loading anything: the time, the process and thread ids,
 * the tick count, the performance counter, the processor's time stamp and the address of the
 * stack (randomised by ASLR). A mismatch ends the process at once through the processor's fail
 * fast interrupt, which no exception handler can catch. */
#include <windows.h>
#include <intrin.h>

#ifndef FAST_FAIL_STACK_COOKIE_CHECK_FAILURE
#define FAST_FAIL_STACK_COOKIE_CHECK_FAILURE 2
#endif

void* __stack_chk_guard = (void*)(ULONG_PTR)0x00002B992DDFA232ULL;

/* The fail fast interrupt (int 0x29, code in ecx), written out: the toolchain's headers lack
 * the intrinsic. */
__attribute__((noreturn)) void __stack_chk_fail(void) {
  __asm__ volatile("int $0x29" : : "c"(FAST_FAIL_STACK_COOKIE_CHECK_FAILURE) : "memory");
  __builtin_unreachable();
}

/* Runs before the constructors of the program's own code; no protected function is on the
 * stack then, so changing the guard breaks no check in progress. */
__attribute__((constructor, no_stack_protector)) static void SeedStackGuard(void) {
  FILETIME now;
  LARGE_INTEGER counter;
  ULONGLONG value;
  GetSystemTimeAsFileTime(&now);
  QueryPerformanceCounter(&counter);
  value = ((ULONGLONG)now.dwHighDateTime << 32) | now.dwLowDateTime;
  value ^= ((ULONGLONG)GetCurrentProcessId() << 32) ^ GetCurrentThreadId();
  value ^= GetTickCount64() << 24;
  value ^= ((ULONGLONG)counter.QuadPart << 32) ^ (ULONGLONG)counter.QuadPart;
  value ^= __rdtsc();
  value ^= (ULONGLONG)(ULONG_PTR)&value;
  /* A zero byte first stops a string copy that overruns a buffer before it reaches the rest. */
  value &= ~(ULONGLONG)0xFF;
  if (value == 0) value = 0x2B992DDFA200ULL;
  __stack_chk_guard = (void*)(ULONG_PTR)value;
}

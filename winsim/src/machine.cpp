#include "winsim/machine.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <windows.h>
#include <winspool.h>

#include "winsim/desktop.h"
#include "winsim/files.h"
#include "winsim/mutexes.h"
#include "winsim/namespaces.h"
#include "winsim/processes.h"
#include "winsim/registry.h"
#include "winsim/services.h"
#include "winsim/spooler.h"

namespace winsim {
namespace {
Machine* g_current = nullptr;
constexpr unsigned char kUninitialisedByte = 0xCD;
}  // namespace

const char* HandleKindName(HandleKind kind) {
  switch (kind) {
    case HandleKind::File:
      return "File";
    case HandleKind::Mutex:
      return "Mutex";
    case HandleKind::Process:
      return "Process";
    case HandleKind::Thread:
      return "Thread";
    case HandleKind::Module:
      return "Module";
    case HandleKind::RegistryKey:
      return "RegistryKey";
    case HandleKind::ServiceManager:
      return "ServiceManager";
    case HandleKind::Service:
      return "Service";
    case HandleKind::Printer:
      return "Printer";
    case HandleKind::Namespace:
      return "Namespace";
    case HandleKind::Boundary:
      return "Boundary";
    case HandleKind::Other:
      return "Other";
  }
  return "?";
}

Machine::Machine()
    : files_(std::make_unique<FileSystem>()),
      registry_(std::make_unique<Registry>()),
      services_(std::make_unique<ServiceManager>()),
      desktop_(std::make_unique<Desktop>()),
      processes_(std::make_unique<Processes>()),
      mutexes_(std::make_unique<Mutexes>()),
      namespaces_(std::make_unique<PrivateNamespaces>()),
      spooler_(std::make_unique<Spooler>()) {
  if (g_current != nullptr) {
    fprintf(stderr, "winsim: only one Machine may exist at a time\n");
    abort();
  }
  g_current = this;
}

Machine::~Machine() {
  for (auto& block : globalBlocks_) free(const_cast<void*>(block.first));
  for (auto& block : localBlocks_) free(const_cast<void*>(block.first));
  g_current = nullptr;
}

Machine& Machine::Current() {
  if (g_current == nullptr) {
    fprintf(stderr, "winsim: a platform call was made with no Machine\n");
    abort();
  }
  return *g_current;
}

bool Machine::Exists() {
  return g_current != nullptr;
}

void Machine::Advance(DWORD milliseconds) {
  const uint64_t target = elapsed_ + milliseconds;
  while (!timers_.empty() && timers_.begin()->first <= target) {
    auto due = timers_.begin();
    uint64_t at = due->first > elapsed_ ? due->first : elapsed_;
    std::function<void()> action = std::move(due->second);
    timers_.erase(due);
    tickCount_ += static_cast<DWORD>(at - elapsed_);  // wraps like the real tick count
    elapsed_ = at;
    action();
  }
  tickCount_ += static_cast<DWORD>(target - elapsed_);
  elapsed_ = target;
}

void Machine::At(uint64_t at, std::function<void()> action) {
  timers_.emplace(at, std::move(action));
}

std::optional<uint64_t> Machine::NextTimer() const {
  if (timers_.empty()) return std::nullopt;
  return timers_.begin()->first;
}

void Machine::SleepFor(DWORD milliseconds) {
  if (ended_) return;
  ++sleepCount_;
  Advance(milliseconds);
}

void Machine::FailCall(const std::string& function, unsigned nth, DWORD error) {
  faults_[function].push_back({nth, false, error});
}

void Machine::FailCallsFrom(const std::string& function, unsigned nth, DWORD error) {
  faults_[function].push_back({nth, true, error});
}

unsigned Machine::CallCount(const std::string& function) const {
  auto found = callCounts_.find(function);
  return found == callCounts_.end() ? 0 : found->second;
}

namespace {
// The calls a dead program may still make: they act on its own memory and text only.
bool ActsOnOwnMemoryOnly(const char* function) {
  static const char* const kNames[] = {"GlobalAlloc",
                                       "GlobalFree",
                                       "LocalAlloc",
                                       "LocalFree",
                                       "MultiByteToWideChar",
                                       "WideCharToMultiByte",
                                       "GetTickCount",
                                       "GetLocalTime",
                                       "GetCommandLineW",
                                       "CommandLineToArgvW",
                                       "FormatMessageW",
                                       "CreateBoundaryDescriptorW",
                                       "AddSIDToBoundaryDescriptor",
                                       "DeleteBoundaryDescriptor"};
  for (const char* name : kNames) {
    if (strcmp(name, function) == 0) return true;
  }
  return false;
}
}  // namespace

void Machine::EndProgramAtCall(uint64_t nth) {
  endAtCall_ = totalCalls_ + nth;
}

uint64_t Machine::RunAside(const std::function<void()>& run) {
  const uint64_t elapsed = elapsed_;
  const DWORD ticks = tickCount_;
  run();
  const uint64_t reached = elapsed_;
  elapsed_ = elapsed;
  tickCount_ = ticks;
  return reached;
}

void Machine::StartProgramAgain() {
  ended_ = false;
  endAtCall_ = 0;
}

void Machine::EndProgram() {
  ended_ = true;
  mutexes_->AbandonAllOf(Processes::kProgramProcessId);
  // The platform closes what the process left open, each as its own close call would.
  std::vector<std::pair<const void*, HandleKind>> open;
  for (const auto& entry : handles_) open.push_back({entry.first, entry.second.kind});
  closingAtExit_ = true;
  for (const auto& [handle, kind] : open) {
    HANDLE h = const_cast<HANDLE>(handle);
    switch (kind) {
      case HandleKind::RegistryKey:
        RegCloseKey(static_cast<HKEY>(h));
        break;
      case HandleKind::ServiceManager:
      case HandleKind::Service:
        CloseServiceHandle(static_cast<SC_HANDLE>(h));
        break;
      case HandleKind::Printer:
        ClosePrinter(h);
        break;
      case HandleKind::Module:
        FreeLibrary(static_cast<HMODULE>(h));
        break;
      case HandleKind::Namespace:
        ClosePrivateNamespace(h, 0);
        break;
      case HandleKind::Boundary:  // the program's own memory, which its code still frees
        break;
      default:
        CloseHandle(h);
        break;
    }
  }
  closingAtExit_ = false;
}

DWORD Machine::EnterCall(const char* function) {
  if (closingAtExit_) return 0;
  if (++totalCalls_ == endAtCall_ && !ended_) EndProgram();
  if (ended_ && !ActsOnOwnMemoryOnly(function)) return kEndedProcessError;
  unsigned call = ++callCounts_[function];
  auto found = faults_.find(function);
  if (found == faults_.end()) return 0;
  for (const FaultRule& rule : found->second) {
    if (call == rule.first || (rule.andLater && call > rule.first)) return rule.error;
  }
  return 0;
}

void* Machine::AllocateBlock(bool local, SIZE_T bytes, bool zeroFill) {
  // A zero-byte request still yields a distinct block, as on the platform.
  void* block = malloc(bytes == 0 ? 1 : bytes);
  if (block == nullptr) return nullptr;
  memset(block, zeroFill ? 0 : kUninitialisedByte, bytes == 0 ? 1 : bytes);
  (local ? localBlocks_ : globalBlocks_)[block] = bytes;
  return block;
}

bool Machine::FreeBlock(bool local, void* block) {
  auto& blocks = local ? localBlocks_ : globalBlocks_;
  auto found = blocks.find(block);
  if (found == blocks.end()) return false;
  blocks.erase(found);
  free(block);
  return true;
}

bool Machine::OwnsBlock(bool local, const void* block) const {
  const auto& blocks = local ? localBlocks_ : globalBlocks_;
  return blocks.count(block) != 0;
}

HANDLE Machine::AddHandle(HandleKind kind, std::shared_ptr<void> object) {
  const void* handle = reinterpret_cast<const void*>(nextHandle_);
  nextHandle_ += 4;
  handles_[handle] = HandleEntry{kind, std::move(object)};
  return const_cast<void*>(handle);
}

std::shared_ptr<void> Machine::LookupHandleObject(const void* handle, HandleKind kind) const {
  auto found = handles_.find(handle);
  if (found == handles_.end() || found->second.kind != kind) return nullptr;
  return found->second.object;
}

bool Machine::IsHandleOfKind(const void* handle, HandleKind kind) const {
  auto found = handles_.find(handle);
  return found != handles_.end() && found->second.kind == kind;
}

bool Machine::RemoveHandle(const void* handle, HandleKind kind) {
  auto found = handles_.find(handle);
  if (found == handles_.end() || found->second.kind != kind) return false;
  handles_.erase(found);
  return true;
}

std::string Machine::DescribeOpenHandles() const {
  std::string text;
  for (const auto& entry : handles_) {
    text += HandleKindName(entry.second.kind);
    text += "\n";
  }
  return text;
}

}  // namespace winsim

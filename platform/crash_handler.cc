#include "platform/crash_handler.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <time.h>
#include <ucontext.h>
#include <unistd.h>
#include <unwind.h>

#include <atomic>
#include <cstdint>

#include "platform/address_lookup.h"
#include "platform/crash_stack.h"
#include "platform/crash_time.h"
#include "platform/signal_safe_text.h"

namespace nvx::platform {
namespace {

constexpr int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP};

// The handler's own frames and the kernel's signal trampoline precede the faulting
// instruction in the walk.
constexpr int kHandlerFrames = 16;
// How long a crash waits for a report file that another crashing process holds.
constexpr int kLockAttempts = 200;
constexpr long kLockRetryNanoseconds = 10'000'000;
// uc_flags bit by which the kernel says that it saved SS beside CS, GS and FS.
constexpr unsigned long kContextHasStackSegment = 0x2;

struct ExceptionName {
  uint32_t code;
  const char* name;
};

constexpr ExceptionName kMisalignment{0x80000002, "DATATYPE_MISALIGNMENT"};
constexpr ExceptionName kBreakpoint{0x80000003, "BREAKPOINT"};
constexpr ExceptionName kSingleStep{0x80000004, "SINGLE_STEP"};
constexpr ExceptionName kAccessViolation{0xC0000005, "ACCESS_VIOLATION"};
constexpr ExceptionName kInPageError{0xC0000006, "IN_PAGE_ERROR"};
constexpr ExceptionName kIllegalInstruction{0xC000001D, "ILLEGAL_INSTRUCTION"};
constexpr ExceptionName kArrayBoundsExceeded{0xC000008C, "ARRAY_BOUNDS_EXCEEDED"};
constexpr ExceptionName kFloatDivideByZero{0xC000008E, "FLT_DIVIDE_BY_ZERO"};
constexpr ExceptionName kFloatInexactResult{0xC000008F, "FLT_INEXACT_RESULT"};
constexpr ExceptionName kFloatInvalidOperation{0xC0000090, "FLT_INVALID_OPERATION"};
constexpr ExceptionName kFloatOverflow{0xC0000091, "FLT_OVERFLOW"};
constexpr ExceptionName kFloatUnderflow{0xC0000093, "FLT_UNDERFLOW"};
constexpr ExceptionName kIntDivideByZero{0xC0000094, "INT_DIVIDE_BY_ZERO"};
constexpr ExceptionName kIntOverflow{0xC0000095, "INT_OVERFLOW"};
constexpr ExceptionName kPrivilegedInstruction{0xC0000096, "PRIV_INSTRUCTION"};
constexpr ExceptionName kStackOverflow{0xC00000FD, "STACK_OVERFLOW"};

struct Registers {
  uint64_t rax = 0, rbx = 0, rcx = 0, rdx = 0, rsi = 0, rdi = 0;
  uint64_t r8 = 0, r9 = 0, r10 = 0, r11 = 0, r12 = 0, r13 = 0, r14 = 0, r15 = 0;
  uint64_t rip = 0, rsp = 0, rbp = 0, eflags = 0;
  uint16_t cs = 0, ss = 0, ds = 0, es = 0, fs = 0, gs = 0;
};

struct Frame {
  uintptr_t address = 0;  // the faulting instruction, then return addresses
  uintptr_t frame = 0;    // the frame's stack pointer at `address`
  bool exact = false;     // the address is the instruction itself, not the one after a call
};

// Everything the handler uses lives here rather than on the (alternate) stack.
char g_report_path[kCrashReportPathMax + 1] = {};
SignalSafeLocalTime g_local_time;
std::atomic<pid_t> g_reporting_thread{0};
Frame g_frames[kCrashReportMaxFrames + kHandlerFrames];
ReportLine g_line;

bool NearStack(uintptr_t address, uintptr_t stack_pointer) {
  uintptr_t distance = address > stack_pointer ? address - stack_pointer : stack_pointer - address;
  return distance < kStackOverflowReach;
}

// `code` is the signal's si_code: positive when the processor raised the signal, zero or
// negative when a process sent it.
ExceptionName NameSignal(int signal_number, int code, uintptr_t fault_address,
                         uintptr_t stack_pointer) {
  const bool from_processor = code > 0;
  switch (signal_number) {
    case SIGSEGV:
      return from_processor && NearStack(fault_address, stack_pointer) ? kStackOverflow
                                                                       : kAccessViolation;
    case SIGBUS:
      return from_processor && code == BUS_ADRALN ? kMisalignment : kInPageError;
    case SIGFPE:
      if (!from_processor) return kIntDivideByZero;
      switch (code) {
        case FPE_INTOVF:
          return kIntOverflow;
        case FPE_FLTDIV:
          return kFloatDivideByZero;
        case FPE_FLTOVF:
          return kFloatOverflow;
        case FPE_FLTUND:
          return kFloatUnderflow;
        case FPE_FLTRES:
          return kFloatInexactResult;
        case FPE_FLTINV:
          return kFloatInvalidOperation;
        case FPE_FLTSUB:
          return kArrayBoundsExceeded;
        default:
          return kIntDivideByZero;
      }
    case SIGILL:
      return from_processor && (code == ILL_PRVOPC || code == ILL_PRVREG) ? kPrivilegedInstruction
                                                                          : kIllegalInstruction;
    case SIGTRAP:
      return from_processor && code == TRAP_TRACE ? kSingleStep : kBreakpoint;
    default:
      return kAccessViolation;
  }
}

Registers ReadRegisters(const void* context) {
  Registers registers;
  const auto* machine = static_cast<const ucontext_t*>(context);
#if defined(__x86_64__)
  const greg_t* general = machine->uc_mcontext.gregs;
  auto value = [general](int index) { return static_cast<uint64_t>(general[index]); };
  registers.rax = value(REG_RAX);
  registers.rbx = value(REG_RBX);
  registers.rcx = value(REG_RCX);
  registers.rdx = value(REG_RDX);
  registers.rsi = value(REG_RSI);
  registers.rdi = value(REG_RDI);
  registers.r8 = value(REG_R8);
  registers.r9 = value(REG_R9);
  registers.r10 = value(REG_R10);
  registers.r11 = value(REG_R11);
  registers.r12 = value(REG_R12);
  registers.r13 = value(REG_R13);
  registers.r14 = value(REG_R14);
  registers.r15 = value(REG_R15);
  registers.rip = value(REG_RIP);
  registers.rsp = value(REG_RSP);
  registers.rbp = value(REG_RBP);
  registers.eflags = value(REG_EFL);
  // CS, GS, FS and SS share one 64-bit slot, 16 bits each in that order.
  const uint64_t segments = value(REG_CSGSFS);
  registers.cs = static_cast<uint16_t>(segments);
  registers.gs = static_cast<uint16_t>(segments >> 16);
  registers.fs = static_cast<uint16_t>(segments >> 32);
  if ((machine->uc_flags & kContextHasStackSegment) != 0) {
    registers.ss = static_cast<uint16_t>(segments >> 48);
  }
#elif defined(__aarch64__)
  registers.rip = machine->uc_mcontext.pc;
  registers.rsp = machine->uc_mcontext.sp;
  registers.rbp = machine->uc_mcontext.regs[29];
  registers.eflags = machine->uc_mcontext.pstate;
#else
  (void)machine;
#endif
  return registers;
}

struct WalkState {
  int count = 0;
};

_Unwind_Reason_Code CollectFrame(_Unwind_Context* context, void* data) {
  auto* state = static_cast<WalkState*>(data);
  constexpr int kCapacity = sizeof g_frames / sizeof g_frames[0];
  if (state->count >= kCapacity) return _URC_END_OF_STACK;
  int before_instruction = 0;
  const uintptr_t address = _Unwind_GetIPInfo(context, &before_instruction);
  if (address == 0) return _URC_END_OF_STACK;
  // The unwinder's frame address at this point is that of the callee, which is this
  // frame's stack pointer at the call (at the fault, for the interrupted frame).
  g_frames[state->count++] = {address, _Unwind_GetCFA(context), before_instruction != 0};
  return _URC_NO_REASON;
}

// Walks the stack of the faulting thread; the frames up to the signal trampoline are the
// handler's own and are dropped. Returns the number of frames from g_frames[*first].
int WalkStack(const Registers& registers, int* first) {
  WalkState state;
  _Unwind_Backtrace(CollectFrame, &state);
  for (int i = 0; i < state.count; ++i) {
    if (g_frames[i].exact && g_frames[i].address == registers.rip) {
      *first = i;
      int count = state.count - i;
      return count < kCrashReportMaxFrames ? count : kCrashReportMaxFrames;
    }
  }
  // The unwinder could not cross the signal frame: the faulting instruction alone.
  g_frames[0] = {registers.rip, registers.rsp, true};
  *first = 0;
  return 1;
}

// Sends the current line to the report file (when open) and to standard error.
void WriteReportLine(int report) {
  if (report >= 0) WriteFully(report, g_line.view());
  WriteFully(STDERR_FILENO, g_line.view());
  g_line.Clear();
}

void PutLocation(const SegmentLocation& location, int segment_digits) {
  g_line.Hex(static_cast<uint64_t>(location.segment), segment_digits)
      .Text(":")
      .Hex(location.offset, 16)
      .Text(" ")
      .Text(location.module);
}

void WriteHead(int report, const ExceptionName& exception, const Registers& registers) {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  const LocalTime local = g_local_time.At(now.tv_sec);
  g_line.Text("Unhandled exception: ")
      .Decimal(static_cast<uint64_t>(local.month), 2)
      .Text("/")
      .Decimal(static_cast<uint64_t>(local.day), 2)
      .Text("/")
      .Decimal(static_cast<uint64_t>(local.year), 4)
      .Text(" ")
      .Decimal(static_cast<uint64_t>(local.hour), 2)
      .Text(":")
      .Decimal(static_cast<uint64_t>(local.minute), 2)
      .Text(":")
      .Decimal(static_cast<uint64_t>(local.second), 2)
      .EndLine();
  WriteReportLine(report);

  g_line.Text("Exception code: ").Hex(exception.code, 8).Text(" ").Text(exception.name).EndLine();
  WriteReportLine(report);

  // A fault address in no loaded segment is shown without a module.
  SegmentLocation location;
  (void)FindLoadedSegment(registers.rip, &location);
  g_line.Text("Fault address:  ").Hex(registers.rip, 16).Text(" ");
  PutLocation(location, 2);
  g_line.EndLine();
  WriteReportLine(report);
}

void WriteRegisters(int report, const Registers& registers) {
  g_line.EndLine().Text("Registers:").EndLine();
  WriteReportLine(report);
  const struct {
    const char* name;
    uint64_t value;
  } general[] = {
      {"RAX:", registers.rax}, {"RBX:", registers.rbx}, {"RCX:", registers.rcx},
      {"RDX:", registers.rdx}, {"RSI:", registers.rsi}, {"RDI:", registers.rdi},
      {"R8:", registers.r8},   {"R9:", registers.r9},   {"R10:", registers.r10},
      {"R11:", registers.r11}, {"R12:", registers.r12}, {"R13:", registers.r13},
      {"R14:", registers.r14}, {"R15:", registers.r15},
  };
  for (const auto& entry : general) {
    g_line.Text(entry.name).Hex(entry.value, 16).EndLine();
    WriteReportLine(report);
  }
  g_line.Text("CS:RIP:").Hex(registers.cs, 4).Text(":").Hex(registers.rip, 16).EndLine();
  WriteReportLine(report);
  g_line.Text("SS:RSP:")
      .Hex(registers.ss, 4)
      .Text(":")
      .Hex(registers.rsp, 16)
      .Text("  RBP:")
      .Hex(registers.rbp, 16)
      .EndLine();
  WriteReportLine(report);
  g_line.Text("DS:")
      .Hex(registers.ds, 4)
      .Text("  ES:")
      .Hex(registers.es, 4)
      .Text("  FS:")
      .Hex(registers.fs, 4)
      .Text("  GS:")
      .Hex(registers.gs, 4)
      .EndLine();
  WriteReportLine(report);
  g_line.Text("EFLAGS:").Hex(registers.eflags & 0xFFFFFFFFu, 8).EndLine();
  WriteReportLine(report);
}

void WriteCallStack(int report, const Registers& registers) {
  g_line.Text("Call stack:").EndLine();
  WriteReportLine(report);
  g_line.Text("Address\tFrame").EndLine();
  WriteReportLine(report);
  int first = 0;
  const int count = WalkStack(registers, &first);
  for (int i = first; i < first + count; ++i) {
    const Frame& frame = g_frames[i];
    // A return address may already belong to the next function when the call was the
    // last instruction of its own; the call itself lies one byte before.
    const uintptr_t inside = frame.exact ? frame.address : frame.address - 1;
    g_line.Hex(frame.address, 16).Text("\t").Hex(frame.frame, 16).Text("\t");
    SymbolLocation symbol;
    SegmentLocation location;
    if (FindSymbol(inside, &symbol)) {
      g_line.Text(symbol.name).Text("+").Hex(frame.address - symbol.start, 1);
    } else {
      if (FindLoadedSegment(inside, &location)) location.offset += frame.address - inside;
      PutLocation(location, 4);
    }
    g_line.EndLine();
    WriteReportLine(report);
  }
  g_line.EndLine();
  WriteReportLine(report);
}

int OpenReport() {
  if (g_report_path[0] == '\0') return -1;
  int report =
      ::open(g_report_path, O_WRONLY | O_CREAT | O_APPEND | O_SYNC | O_CLOEXEC | O_NOCTTY, 0644);
  if (report < 0) return -1;
  if (report <= STDERR_FILENO) {
    // A standard stream was closed and the report took its number: lines meant for
    // standard error would land in the report a second time.
    const int moved = ::fcntl(report, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    ::close(report);
    if (moved < 0) return -1;
    report = moved;
  }
  for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
    if (::flock(report, LOCK_EX | LOCK_NB) == 0) break;
    timespec pause{0, kLockRetryNanoseconds};
    ::nanosleep(&pause, nullptr);
  }
  return report;
}

void HandleCrash(int signal_number, siginfo_t* info, void* context) {
  const pid_t self = ::gettid();
  pid_t reporting = 0;
  if (!g_reporting_thread.compare_exchange_strong(reporting, self)) {
    if (reporting != self) {
      // Another thread is reporting and will end the process; this one must not go on.
      for (;;) ::pause();
    }
    // A signal that a process sends while the report is written is ignored; a fault
    // inside the handler ends the process with what has been written.
    if (info->si_code <= 0) return;
    WriteFully(STDERR_FILENO, kCrashClosingMessage);
    ::_exit(kCrashExitCode);
  }

  const Registers registers = ReadRegisters(context);
  const ExceptionName exception = NameSignal(
      signal_number, info->si_code, reinterpret_cast<uintptr_t>(info->si_addr), registers.rsp);
  const int report = OpenReport();
  WriteHead(report, exception, registers);
  WriteRegisters(report, registers);
  WriteCallStack(report, registers);
  if (report >= 0) ::close(report);
  WriteFully(STDERR_FILENO, kCrashClosingMessage);
  ::_exit(kCrashExitCode);
}

}  // namespace

bool InstallCrashSignalHandlers(std::string_view report_path) {
  if (report_path.size() > kCrashReportPathMax) report_path = {};
  report_path.copy(g_report_path, report_path.size());
  g_report_path[report_path.size()] = '\0';

  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  g_local_time.Prepare(now.tv_sec);
  PrepareAddressLookup();
  // The first walk initialises the unwinder's caches; better here than in a crash.
  WalkState warm_up;
  _Unwind_Backtrace(CollectFrame, &warm_up);

  // One crash stack for the installing thread, however often the handler is installed.
  static const bool has_crash_stack = UseCrashStackForLife();
  bool ok = has_crash_stack;

  struct sigaction action {};
  action.sa_sigaction = HandleCrash;
  // SA_NODEFER: a fault inside the handler enters it again and ends the process with
  // exit code 255, instead of the kernel killing it with the signal still blocked.
  action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
  // Signals that would end the process halfway through the report wait until it ends
  // anyway; SIGPIPE would come from a standard error whose reader is gone.
  sigemptyset(&action.sa_mask);
  for (int deferred : {SIGPIPE, SIGHUP, SIGINT, SIGTERM}) sigaddset(&action.sa_mask, deferred);
  for (int signal_number : kCrashSignals) {
    ok = ::sigaction(signal_number, &action, nullptr) == 0 && ok;
  }
  return ok;
}

}  // namespace nvx::platform

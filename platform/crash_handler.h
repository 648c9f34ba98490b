// The crash handler of a program: when the process dies of a processor fault (SIGSEGV,
// SIGBUS, SIGFPE, SIGILL, SIGTRAP, also when another process sends one of them) it
// appends a crash report to a file, echoes every report line to standard error, prints
// the closing message and ends the process with exit code 255.
//
// The handler runs on an alternate stack, so that a stack overflow of the installing
// thread is reported too; another thread's stack overflow is reported only while that
// thread holds a ThreadCrashStack (platform/crash_stack.h), else the kernel ends the
// process without a report. Signals that end a process (SIGPIPE from a standard error
// without reader, SIGHUP, SIGINT, SIGTERM) wait while the report is written.
//
// It uses async-signal-safe calls only: the time zone, the module table and the symbol
// lookup are prepared at installation; names are demangled by a demangler that allocates
// nothing; the stack is walked by the run-time's unwinder (the one the C library's
// backtrace uses, called directly because it also yields each frame's stack pointer).
// Only one thread reports: a second thread that faults meanwhile waits for the process to
// end, and a fault inside the handler ends the process at once. Installed after a
// sanitizer run-time, it takes the signals over from the sanitizer's own handlers (which
// AddressSanitizer allows unless told otherwise with allow_user_segv_handler=0).
//
// The report, line by line (hexadecimal digits in upper case, every line ends CR LF):
//
//   Unhandled exception: MM/DD/YYYY hh:mm:ss            local time of the crash
//   Exception code: CCCCCCCC NAME                       see the table below
//   Fault address:  <16 hex> NN:<16 hex> <module>       instruction address, segment
//                                                       number (2 digits) and offset
//   <empty line>
//   Registers:
//   RAX:<16 hex>   RBX, RCX, RDX, RSI, RDI, R8 to R15 follow, one a line
//   CS:RIP:<4 hex>:<16 hex>
//   SS:RSP:<4 hex>:<16 hex>  RBP:<16 hex>
//   DS:<4 hex>  ES:<4 hex>  FS:<4 hex>  GS:<4 hex>
//   EFLAGS:<8 hex>
//   Call stack:
//   Address<TAB>Frame
//   <address><TAB><frame><TAB><symbol>+<displacement>        an exported symbol covers it
//   <address><TAB><frame><TAB><4 hex segment>:<16 hex offset> <module>     otherwise
//   <empty line>
//
// Address and frame have 16 hex digits, the displacement as many as it needs.
// The first stack entry is the faulting instruction, the others are return addresses;
// "Frame" is the frame's stack pointer at that address (for the faulting instruction the
// RSP of the fault), which tells the frames of a recursion apart. At most
// kCrashReportMaxFrames entries.
//
// Segment registers the processor does not report to the handler (DS, ES; SS on older
// kernels) print as 0; on processors other than x86-64 the registers print as 0.
//
// Signals are named with the exception codes of the report:
//
//   SIGSEGV                               C0000005 ACCESS_VIOLATION
//   SIGSEGV close to the stack pointer    C00000FD STACK_OVERFLOW
//   SIGBUS BUS_ADRALN                     80000002 DATATYPE_MISALIGNMENT
//   SIGBUS otherwise                      C0000006 IN_PAGE_ERROR
//   SIGFPE FPE_INTDIV (and when sent)     C0000094 INT_DIVIDE_BY_ZERO
//   SIGFPE FPE_INTOVF                     C0000095 INT_OVERFLOW
//   SIGFPE FPE_FLTDIV, FLTOVF, FLTUND,    C000008E, C0000091, C0000093,
//          FLTRES, FLTINV, FLTSUB         C000008F, C0000090, C000008C
//   SIGILL ILL_PRVOPC, ILL_PRVREG         C0000096 PRIV_INSTRUCTION
//   SIGILL otherwise                      C000001D ILLEGAL_INSTRUCTION
//   SIGTRAP TRAP_TRACE                    80000004 SINGLE_STEP
//   SIGTRAP otherwise                     80000003 BREAKPOINT
//
// The report file is opened for appending with every write going through to the disk,
// and locked, so that two processes crashing at once do not mix their lines; a crash
// that finds it locked waits up to two seconds, then writes anyway. A report file that
// cannot be opened gets nothing; the report still goes to standard error.
//
// A stack overflow is a fault of the processor (not a signal sent by a process) whose
// address lies within kStackOverflowReach bytes of the stack pointer: nothing else runs
// into unmapped memory right beside the stack.
#ifndef NVX_PLATFORM_CRASH_HANDLER_H_
#define NVX_PLATFORM_CRASH_HANDLER_H_

#include <cstddef>
#include <string_view>

namespace nvx::platform {

inline constexpr int kCrashExitCode = 255;
inline constexpr int kCrashReportMaxFrames = 64;
// The report file's full path, at most this many bytes.
inline constexpr size_t kCrashReportPathMax = 4095;
inline constexpr size_t kStackOverflowReach = 64 * 1024;

inline constexpr std::string_view kCrashClosingMessage =
    "An unhandled exception has occurred.\r\n"
    "Information regarding the exception has been logged.\r\n"
    "Please contact your application vendor for further assistance.\r\n";

// Installs the handler for the whole process, with the alternate stack on the calling
// thread. `report_path`: the file each crash appends its report to; empty or longer than
// kCrashReportPathMax: no report file, standard error only. Call first thing in main,
// before other threads start; a later call replaces the report path and takes over the
// signals again (for instance after a sanitizer run-time installed its own handlers).
// False when a signal could not be taken over.
[[nodiscard]] bool InstallCrashSignalHandlers(std::string_view report_path);

}  // namespace nvx::platform

#endif  // NVX_PLATFORM_CRASH_HANDLER_H_

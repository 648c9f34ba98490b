// What lies at a code address of this process, for the crash report: the module (the
// program file or a shared library) and which of its loaded segments holds the address,
// and the symbol, when the module exports one that covers it.
//
// Segments are the module's loadable segments, numbered from 1 in the order of its
// program headers; the offset is counted from the segment's start. Load addresses change
// from run to run, segment offsets can be matched with the file.
//
// PrepareAddressLookup records the table of loaded modules (and readies the loader's
// symbol lookup) once at start; it is not signal-safe. FindLoadedSegment then searches the
// recorded table without locks or allocation. Only an address outside every recorded
// module (a library loaded later) makes it ask the dynamic loader again; so does every
// FindSymbol. Both take the loader's recursive lock, so they are safe in a signal
// handler unless the crash happened inside the loader itself; a report is worth that
// risk. The results point into static storage that the next call overwrites: one thread
// at a time (the crash handler makes sure of that).
#ifndef NVX_PLATFORM_ADDRESS_LOOKUP_H_
#define NVX_PLATFORM_ADDRESS_LOOKUP_H_

#include <cstddef>
#include <cstdint>

namespace nvx::platform {

// Bounds of the recorded table; modules beyond them are looked up through the loader.
inline constexpr int kMaxRecordedModules = 64;
inline constexpr int kMaxRecordedSegments = 8;
// A module's file name is cut to this many bytes.
inline constexpr size_t kModuleNameCapacity = 512;
// A symbol's name (after demangling) is cut to this many bytes.
inline constexpr size_t kSymbolNameCapacity = 512;

struct SegmentLocation {
  int segment = 0;          // 1 for the first loadable segment, 0 when none holds it
  uint64_t offset = 0;      // from the segment's start
  const char* module = "";  // full file name of the module, "" when unknown
};

struct SymbolLocation {
  const char* name = "";  // demangled where the name is understood, else as stored
  uintptr_t start = 0;    // the symbol's address
};

// Records the loaded modules and their segments. Call at start and again after loading
// libraries, never while a crash may be handled.
void PrepareAddressLookup();

// The module and segment that hold `address`; false when no loaded module holds it.
[[nodiscard]] bool FindLoadedSegment(uintptr_t address, SegmentLocation* location);

// The exported symbol whose extent holds `address`; false when there is none (the usual
// case for the program's own functions, which are not exported).
[[nodiscard]] bool FindSymbol(uintptr_t address, SymbolLocation* location);

}  // namespace nvx::platform

#endif  // NVX_PLATFORM_ADDRESS_LOOKUP_H_

#include "platform/address_lookup.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include "platform/symbol_demangle.h"

namespace nvx::platform {
namespace {

struct Segment {
  uintptr_t start = 0;
  uintptr_t length = 0;
};

struct ModuleRecord {
  char name[kModuleNameCapacity] = {};
  int segment_count = 0;
  Segment segments[kMaxRecordedSegments];
};

// Written by PrepareAddressLookup only; read by the lookups.
ModuleRecord g_modules[kMaxRecordedModules];
int g_module_count = 0;
// The loader reports the program itself without a name.
char g_program_path[kModuleNameCapacity] = {};

// Results of the lookups that go through the loader.
ModuleRecord g_late_module;
char g_symbol_name[kSymbolNameCapacity] = {};

void CopyName(const char* name, char* field) {
  size_t i = 0;
  for (; name[i] != '\0' && i + 1 < kModuleNameCapacity; ++i) field[i] = name[i];
  field[i] = '\0';
}

void RecordModule(const dl_phdr_info& info, ModuleRecord* record) {
  const bool named = info.dlpi_name != nullptr && info.dlpi_name[0] != '\0';
  CopyName(named ? info.dlpi_name : g_program_path, record->name);
  record->segment_count = 0;
  for (int i = 0; i < info.dlpi_phnum && record->segment_count < kMaxRecordedSegments; ++i) {
    const ElfW(Phdr)& header = info.dlpi_phdr[i];
    if (header.p_type != PT_LOAD) continue;
    record->segments[record->segment_count++] = {info.dlpi_addr + header.p_vaddr, header.p_memsz};
  }
}

bool Locate(const ModuleRecord& module, uintptr_t address, SegmentLocation* location) {
  for (int i = 0; i < module.segment_count; ++i) {
    const Segment& segment = module.segments[i];
    if (address >= segment.start && address - segment.start < segment.length) {
      location->segment = i + 1;
      location->offset = address - segment.start;
      location->module = module.name;
      return true;
    }
  }
  return false;
}

int RecordEach(dl_phdr_info* info, size_t, void*) {
  if (g_module_count >= kMaxRecordedModules) return 1;
  RecordModule(*info, &g_modules[g_module_count++]);
  return 0;
}

struct LateSearch {
  uintptr_t address = 0;
  SegmentLocation* location = nullptr;
  bool found = false;
};

int SearchEach(dl_phdr_info* info, size_t, void* data) {
  auto* search = static_cast<LateSearch*>(data);
  RecordModule(*info, &g_late_module);
  search->found = Locate(g_late_module, search->address, search->location);
  return search->found ? 1 : 0;
}

}  // namespace

void PrepareAddressLookup() {
  ssize_t length = ::readlink("/proc/self/exe", g_program_path, sizeof g_program_path - 1);
  g_program_path[length > 0 ? length : 0] = '\0';
  g_module_count = 0;
  ::dl_iterate_phdr(RecordEach, nullptr);
  // The first symbol lookup binds the loader's entry points; do it now rather than in a
  // crash. What it finds does not matter.
  SymbolLocation ignored;
  (void)FindSymbol(reinterpret_cast<uintptr_t>(&::dladdr1), &ignored);
}

bool FindLoadedSegment(uintptr_t address, SegmentLocation* location) {
  for (int i = 0; i < g_module_count; ++i) {
    if (Locate(g_modules[i], address, location)) return true;
  }
  LateSearch search;
  search.address = address;
  search.location = location;
  ::dl_iterate_phdr(SearchEach, &search);
  if (!search.found) *location = SegmentLocation();
  return search.found;
}

bool FindSymbol(uintptr_t address, SymbolLocation* location) {
  Dl_info info{};
  void* symbol_entry = nullptr;
  if (::dladdr1(reinterpret_cast<void*>(address), &info, &symbol_entry, RTLD_DL_SYMENT) == 0) {
    return false;
  }
  const auto* symbol = static_cast<const ElfW(Sym)*>(symbol_entry);
  if (info.dli_sname == nullptr || info.dli_saddr == nullptr || symbol == nullptr) return false;
  // The loader answers with the nearest exported symbol below the address even when the
  // address lies in a hidden function after it; only a symbol that spans it is the answer.
  const uintptr_t start = reinterpret_cast<uintptr_t>(info.dli_saddr);
  if (address < start || address - start >= symbol->st_size) return false;
  size_t length = DemangleFunctionName(info.dli_sname, g_symbol_name, sizeof g_symbol_name);
  location->name = length > 0 ? g_symbol_name : info.dli_sname;
  location->start = start;
  return true;
}

}  // namespace nvx::platform

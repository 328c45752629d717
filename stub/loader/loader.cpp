// The first code of the program image: the program itself is carried
// compressed (stub/loader/pack_program.py lays it out as it lies in memory
// and compresses it with LZMA), and this entry point unpacks it into memory
// of its own, does what the system's loader does for an image (base
// relocations, imports, page protections, the function table that
// exceptions are found through) and calls its entry point. The program's
// resources and its file stay this image's: GetModuleHandle(nullptr) and
// GetModuleFileName name it, as for a program loaded the ordinary way.
//
// What the program may use is checked when it is packed: no thread-local
// storage, no delay-loaded or bound imports, no imports by ordinal, no load
// configuration, nothing but 64-bit relocations, no writable code. Here
// only what the bytes themselves can get wrong is checked: a damaged image
// ends the process before any of it runs.
//
// No C++ runtime: no exceptions, no static constructors, no stack canary
// (the program sets its own).
#include <cstddef>
#include <cstdint>

#include "package/crc32.h"
#include "platform/byte_order.h"
#include "platform/ui.h"
#include "platform/win32/windows_support.h"

extern "C" {
#include <LzmaDec.h>

// The packed program, linked in from packed_program.S: the raw length
// (the program's SizeOfImage) and the CRC-32 of its bytes, each 32-bit
// little-endian, the 5 bytes of LZMA properties, the LZMA data.
extern const uint8_t PackedProgram[];
extern const uint8_t PackedProgramEnd[];
// The image's import slots for the program's imports, in the order of the
// program's import table (program_imports.c, written with the packed
// program).
extern void *const *const ProgramImports[];
extern const unsigned ProgramImportCount;
}

namespace {

constexpr size_t kHeaderSize = 8 + LZMA_PROPS_SIZE;
// A program that cannot run ends as the program's own critical errors end.
[[noreturn]] void Fail() { ::ExitProcess(platform::exitcode::kFailed); }

void Require(bool condition) {
  if (!condition)
    Fail();
}

void *SdkAlloc(void *, size_t size) {
  return ::HeapAlloc(::GetProcessHeap(), 0, size);
}

void SdkFree(void *, void *address) {
  if (address)
    ::HeapFree(::GetProcessHeap(), 0, address);
}

// The program's bytes, decoded into fresh read-write memory.
uint8_t *Unpack(size_t &size) {
  const size_t packed = static_cast<size_t>(PackedProgramEnd - PackedProgram);
  Require(packed > kHeaderSize);
  size = platform::ReadLE32(PackedProgram);
  auto *base = static_cast<uint8_t *>(
      ::VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  Require(base != nullptr);
  ISzAlloc alloc = {SdkAlloc, SdkFree};
  SizeT produced = size;
  SizeT consumed = packed - kHeaderSize;
  ELzmaStatus status;
  const SRes result = LzmaDecode(base, &produced, PackedProgram + kHeaderSize,
                                 &consumed, PackedProgram + 8, LZMA_PROPS_SIZE,
                                 LZMA_FINISH_END, &status, &alloc);
  Require(result == SZ_OK && produced == size &&
          package::Crc32(0, base, size) ==
              platform::ReadLE32(PackedProgram + 4));
  return base;
}

// The image's data directory entry index, or nullptr when it is empty; one
// that reaches outside the image ends the process.
const IMAGE_DATA_DIRECTORY *Directory(const IMAGE_NT_HEADERS64 *nt, size_t size,
                                      unsigned index) {
  const IMAGE_DATA_DIRECTORY &entry = nt->OptionalHeader.DataDirectory[index];
  if (entry.Size == 0)
    return nullptr;
  Require(entry.VirtualAddress <= size &&
          entry.Size <= size - entry.VirtualAddress);
  return &entry;
}

void Relocate(uint8_t *base, size_t size, const IMAGE_NT_HEADERS64 *nt) {
  const IMAGE_DATA_DIRECTORY *relocations =
      Directory(nt, size, IMAGE_DIRECTORY_ENTRY_BASERELOC);
  if (!relocations)
    return;
  const uint64_t delta =
      reinterpret_cast<uintptr_t>(base) - nt->OptionalHeader.ImageBase;
  size_t at = relocations->VirtualAddress;
  const size_t end = at + relocations->Size;
  while (end - at >= sizeof(IMAGE_BASE_RELOCATION)) {
    const auto *block =
        reinterpret_cast<const IMAGE_BASE_RELOCATION *>(base + at);
    Require(block->SizeOfBlock >= sizeof *block &&
            block->SizeOfBlock <= end - at);
    const auto *entry = reinterpret_cast<const uint16_t *>(block + 1);
    const size_t count = (block->SizeOfBlock - sizeof *block) / 2;
    for (size_t k = 0; k < count; ++k) {
      const unsigned type = entry[k] >> 12;
      if (type == IMAGE_REL_BASED_ABSOLUTE) // padding
        continue;
      const size_t offset = block->VirtualAddress + (entry[k] & 0xFFF);
      Require(type == IMAGE_REL_BASED_DIR64 && offset <= size - 8);
      *reinterpret_cast<uint64_t *>(base + offset) += delta;
    }
    at += block->SizeOfBlock;
  }
}

// The program's import table gets the addresses that the system bound for
// the image's own, which lists the same functions in the same order
// (ProgramImports).
void BindImports(uint8_t *base, size_t size, const IMAGE_NT_HEADERS64 *nt) {
  unsigned bound = 0;
  const IMAGE_DATA_DIRECTORY *imports =
      Directory(nt, size, IMAGE_DIRECTORY_ENTRY_IMPORT);
  for (size_t at = imports ? imports->VirtualAddress : 0; imports;
       at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
    Require(at <= size - sizeof(IMAGE_IMPORT_DESCRIPTOR));
    const auto *dll =
        reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR *>(base + at);
    if (dll->Name == 0)
      break;
    size_t lookup =
        dll->OriginalFirstThunk ? dll->OriginalFirstThunk : dll->FirstThunk;
    for (size_t slot = dll->FirstThunk;; lookup += 8, slot += 8) {
      Require(lookup <= size - 8 && slot <= size - 8);
      if (*reinterpret_cast<const uint64_t *>(base + lookup) == 0)
        break;
      Require(bound < ProgramImportCount);
      *reinterpret_cast<void **>(base + slot) = *ProgramImports[bound++];
    }
  }
  Require(bound == ProgramImportCount);
}

// Each section gets the access its characteristics ask for; the headers
// become read-only. No page stays both writable and executable.
void Protect(uint8_t *base, size_t size, const IMAGE_NT_HEADERS64 *nt) {
  DWORD old;
  Require(::VirtualProtect(base, nt->OptionalHeader.SizeOfHeaders,
                           PAGE_READONLY, &old));
  const IMAGE_SECTION_HEADER *section = IMAGE_FIRST_SECTION(nt);
  for (unsigned k = 0; k < nt->FileHeader.NumberOfSections; ++k, ++section) {
    const DWORD traits = section->Characteristics;
    if (section->Misc.VirtualSize == 0)
      continue;
    Require(section->VirtualAddress <= size &&
            section->Misc.VirtualSize <= size - section->VirtualAddress);
    DWORD access = PAGE_READONLY;
    if (traits & IMAGE_SCN_MEM_EXECUTE) {
      Require(!(traits & IMAGE_SCN_MEM_WRITE));
      access = PAGE_EXECUTE_READ;
    } else if (traits & IMAGE_SCN_MEM_WRITE) {
      access = PAGE_READWRITE;
    }
    Require(::VirtualProtect(base + section->VirtualAddress,
                             section->Misc.VirtualSize, access, &old));
  }
  ::FlushInstructionCache(::GetCurrentProcess(), base, size);
}

// Exceptions are found through the function table: the system's loader
// registers an image's own; memory of ours is registered here.
void RegisterFunctionTable(uint8_t *base, size_t size,
                           const IMAGE_NT_HEADERS64 *nt) {
  const IMAGE_DATA_DIRECTORY *table =
      Directory(nt, size, IMAGE_DIRECTORY_ENTRY_EXCEPTION);
  if (!table)
    return;
  Require(::RtlAddFunctionTable(
      reinterpret_cast<PRUNTIME_FUNCTION>(base + table->VirtualAddress),
      table->Size / sizeof(RUNTIME_FUNCTION),
      reinterpret_cast<uintptr_t>(base)));
}

} // namespace

// The entry point of the image (linked with -e LoaderStart).
extern "C" [[noreturn]] void LoaderStart() {
  size_t size = 0;
  uint8_t *base = Unpack(size);
  Require(size >= sizeof(IMAGE_DOS_HEADER));
  const auto *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(base);
  Require(dos->e_magic == IMAGE_DOS_SIGNATURE && dos->e_lfanew >= 0 &&
          static_cast<size_t>(dos->e_lfanew) <=
              size - sizeof(IMAGE_NT_HEADERS64));
  const auto *nt =
      reinterpret_cast<const IMAGE_NT_HEADERS64 *>(base + dos->e_lfanew);
  Require(nt->Signature == IMAGE_NT_SIGNATURE &&
          nt->FileHeader.Machine == IMAGE_FILE_MACHINE_AMD64 &&
          nt->OptionalHeader.Magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC &&
          nt->OptionalHeader.SizeOfImage == size &&
          nt->OptionalHeader.AddressOfEntryPoint < size &&
          nt->OptionalHeader.SizeOfHeaders <= size);
  // The section table lies inside the headers.
  Require(static_cast<size_t>(
              reinterpret_cast<const uint8_t *>(
                  IMAGE_FIRST_SECTION(nt) + nt->FileHeader.NumberOfSections) -
              base) <= nt->OptionalHeader.SizeOfHeaders);
  Relocate(base, size, nt);
  BindImports(base, size, nt);
  const auto entry = reinterpret_cast<void (*)()>(
      base + nt->OptionalHeader.AddressOfEntryPoint);
  RegisterFunctionTable(base, size, nt);
  Protect(base, size, nt);
  entry();
  Fail(); // the program ends through ExitProcess
}

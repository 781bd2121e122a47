// Resource-only PE images with a version resource: the machine's product files and test files.
#include <algorithm>
#include <cstring>
#include <vector>

#include "winsim/api_version.h"
#include "winsim/file_state.h"
#include "winsim/machine.h"
#include "winsim/named_list.h"
#include "winsim/version_files.h"

namespace winsim {

namespace {

void Put(std::string& out, size_t at, uint64_t value, int bytes) {
  if (out.size() < at + bytes) out.resize(at + bytes, '\0');
  for (int i = 0; i < bytes; ++i) out[at + i] = char((value >> (8 * i)) & 0xFF);
}

void PadTo(std::string& out, size_t alignment) { out.resize((out.size() + alignment - 1) / alignment * alignment, '\0'); }

std::string Utf16(const std::string& text) {
  std::string out;
  for (char16_t c : Wide(text) + u'\0') Put(out, out.size(), c, 2);
  return out;
}

// One node of a version block: length, value length, type, key, then the value and each child on
// a 4-byte boundary. Text values count their length in characters, binary ones in bytes.
std::string Node(const std::string& key, const std::string& value, bool text,
                 const std::vector<std::string>& children = {}) {
  std::string out(6, '\0');
  out += Utf16(key);
  PadTo(out, 4);
  out += value;
  for (const std::string& child : children) {
    PadTo(out, 4);
    out += child;
  }
  Put(out, 0, out.size(), 2);
  Put(out, 2, text ? value.size() / 2 : value.size(), 2);
  Put(out, 4, text ? 1 : 0, 2);
  return out;
}

std::string VersionBlock(WORD a, WORD b, WORD c, WORD d, DWORD fileType) {
  const DWORD ms = DWORD(a) << 16 | b, ls = DWORD(c) << 16 | d;
  const DWORD fixed[13] = {VS_FFI_SIGNATURE, VS_FFI_STRUCVERSION, ms, ls, ms, ls, VS_FFI_FILEFLAGSMASK,
                           0, VOS_NT_WINDOWS32, fileType, 0, 0, 0};
  std::string info;
  for (DWORD value : fixed) Put(info, info.size(), value, 4);
  std::string version = std::to_string(a) + "." + std::to_string(b) + "." + std::to_string(c) + "." +
                        std::to_string(d);
  std::string translation;
  Put(translation, 0, 0x04B00409, 4);  // US English, Unicode
  return Node("VS_VERSION_INFO", info, false,
              {Node("StringFileInfo", "", true,
                    {Node("040904b0", "", true,
                          {Node("FileVersion", Utf16(version), true),
                           Node("ProductVersion", Utf16(version), true)})}),
               Node("VarFileInfo", "", true, {Node("Translation", translation, false)})});
}

// The ".edata" section at `rva`: the export directory, its tables and names, then one "ret"
// that every export leads to (outside the directory, so no export is taken for a forwarder).
std::string ExportSection(uint32_t rva, std::vector<std::string> names) {
  std::sort(names.begin(), names.end());  // the loader looks names up by binary search
  const uint32_t n = uint32_t(names.size()), functions = 40, nameTable = functions + 4 * n,
                 ordinals = nameTable + 4 * n;
  std::string out(ordinals + 2 * n, '\0');
  std::string strings = std::string("module.dll") + '\0';
  std::vector<uint32_t> nameAt;
  for (const std::string& name : names) {
    nameAt.push_back(ordinals + 2 * n + uint32_t(strings.size()));
    strings += name + '\0';
  }
  const uint32_t directorySize = ordinals + 2 * n + uint32_t(strings.size());
  Put(out, 12, rva + ordinals + 2 * n, 4);  // the module's name
  Put(out, 16, 1, 4);                      // ordinal base
  Put(out, 20, n, 4);
  Put(out, 24, n, 4);
  Put(out, 28, rva + functions, 4);
  Put(out, 32, rva + nameTable, 4);
  Put(out, 36, rva + ordinals, 4);
  for (uint32_t i = 0; i < n; ++i) {
    Put(out, functions + 4 * i, rva + directorySize, 4);
    Put(out, nameTable + 4 * i, rva + nameAt[i], 4);
    Put(out, ordinals + 2 * i, i, 2);
  }
  out += strings;
  out += char(0xC3);
  return out;
}

// A PE image of headers, one ".rsrc" section that holds the version resource alone and, when
// it exports anything, an ".edata" section: PE32+ for x64, or PE32 for x86, whose optional header
// is 16 bytes shorter (a 4-byte image base after BaseOfData, 4-byte stack and heap sizes).
std::string PeImage(const std::string& version, bool dll, bool x86, const std::vector<std::string>& exports) {
  constexpr uint32_t kFileAlign = 0x200, kSectionAlign = 0x1000, kRsrcRva = 0x1000;
  constexpr uint32_t kPe = 0x40, kOptional = kPe + 24;
  const uint32_t directories = kOptional + (x86 ? 96 : 112), kSection = directories + 16 * 8;
  auto alignUp = [](uint32_t value, uint32_t alignment) { return (value + alignment - 1) / alignment * alignment; };
  std::string rsrc;
  // Type 16 -> name 1 -> language 1033 -> data entry, each directory with one numeric entry.
  const uint32_t levels[3][2] = {{16, 0x80000018}, {1, 0x80000030}, {1033, 0x48}};
  for (int i = 0; i < 3; ++i) {
    Put(rsrc, 0x18 * i + 14, 1, 2);
    Put(rsrc, 0x18 * i + 16, levels[i][0], 4);
    Put(rsrc, 0x18 * i + 20, levels[i][1], 4);
  }
  Put(rsrc, 0x48, kRsrcRva + 0x58, 4);
  Put(rsrc, 0x4C, version.size(), 4);
  rsrc.resize(0x58, '\0');
  rsrc += version;
  const uint32_t rsrcSize = uint32_t(rsrc.size());
  PadTo(rsrc, kFileAlign);
  const uint32_t edataRva = kRsrcRva + alignUp(rsrcSize, kSectionAlign);
  std::string edata = exports.empty() ? std::string() : ExportSection(edataRva, exports);
  const uint32_t edataSize = uint32_t(edata.size());
  PadTo(edata, kFileAlign);

  std::string image(kFileAlign, '\0');  // the headers
  Put(image, 0, 0x5A4D, 2);  // "MZ"
  Put(image, 0x3C, kPe, 4);
  Put(image, kPe, 0x00004550, 4);  // "PE\0\0"
  Put(image, kPe + 4, x86 ? 0x14C : 0x8664, 2);
  Put(image, kPe + 6, edata.empty() ? 1 : 2, 2);
  Put(image, kPe + 20, kSection - kOptional, 2);
  // executable, then large addresses (x64) or a 32-bit machine (x86), then DLL
  Put(image, kPe + 22, (x86 ? 0x0102 : 0x0022) | (dll ? 0x2000 : 0), 2);
  Put(image, kOptional, x86 ? 0x10B : 0x20B, 2);
  Put(image, kOptional + 8, rsrc.size() + edata.size(), 4);
  if (x86)
    Put(image, kOptional + 28, dll ? 0x10000000 : 0x400000, 4);
  else
    Put(image, kOptional + 24, dll ? 0x180000000ull : 0x140000000ull, 8);
  Put(image, kOptional + 32, kSectionAlign, 4);
  Put(image, kOptional + 36, kFileAlign, 4);
  Put(image, kOptional + 40, 6, 2);
  Put(image, kOptional + 48, 6, 2);
  Put(image, kOptional + 56, edataRva + alignUp(edataSize, kSectionAlign), 4);
  Put(image, kOptional + 60, kFileAlign, 4);
  Put(image, kOptional + 68, 2, 2);                       // Windows GUI
  Put(image, kOptional + 70, x86 ? 0x0140 : 0x0160, 2);  // (high-entropy VA,) dynamic base, NX
  const int width = x86 ? 4 : 8;  // stack reserve and commit, heap reserve and commit
  for (int i = 0; i < 4; ++i) Put(image, kOptional + 72 + width * i, i % 2 ? 0x1000 : 0x100000, width);
  Put(image, directories - 4, 16, 4);
  Put(image, directories + 2 * 8, kRsrcRva, 4);
  Put(image, directories + 2 * 8 + 4, rsrcSize, 4);
  auto section = [&image](uint32_t at, const char* name, uint32_t size, uint32_t rva, size_t raw, size_t rawAt,
                          uint32_t flags) {
    image.replace(at, std::strlen(name), name);  // over the zeros, up to 8 characters
    Put(image, at + 8, size, 4);
    Put(image, at + 12, rva, 4);
    Put(image, at + 16, raw, 4);
    Put(image, at + 20, rawAt, 4);
    Put(image, at + 36, flags, 4);
  };
  section(kSection, ".rsrc", rsrcSize, kRsrcRva, rsrc.size(), kFileAlign, 0x40000040);  // initialised data, readable
  if (!edata.empty()) {
    Put(image, directories, edataRva, 4);
    Put(image, directories + 4, edataSize - 1, 4);  // the "ret" lies outside the directory
    // initialised data and code, readable and executable
    section(kSection + 40, ".edata", edataSize, edataRva, edata.size(), kFileAlign + rsrc.size(), 0x60000060);
  }
  return image + rsrc + edata;
}

bool EndsWithNoCase(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && EqualNoCase(text.substr(text.size() - end.size()), end);
}

}  // namespace

bool WriteVersionedFile(const std::string& windowsPath, WORD a, WORD b, WORD c, WORD d,
                        const std::string& payload, const std::vector<std::string>& exports) {
  bool application = EndsWithNoCase(windowsPath, ".exe");
  std::string version = VersionBlock(a, b, c, d, application ? VFT_APP : VFT_DLL);
  bool x86 = EndsWithNoCase(windowsPath, "32.dll");
  return WriteMachineFile(windowsPath, PeImage(version, !application, x86, exports) + payload);
}

std::vector<std::string> ProductExports(const std::string& name) {
  if (FoldName(name).rfind("lmsmon", 0) == 0) return {kMonitorEntry};
  return {};
}

const char* const kProductFileNames[8] = {"lmsmon64.dll", "lmsdrv64.dll", "lmsui64.dll", "lmsmon32.dll",
                                          "lmsdrv32.dll", "lmsui32.dll", "lmshelp.chm", "lumtray.exe"};

void WriteProductFiles() {
  const std::string dir = "C:\\Program Files\\Lumascribe\\install\\";
  for (const char* name : kProductFileNames) {
    if (EndsWithNoCase(name, ".dll"))
      WriteVersionedFile(dir + name, 1, 0, 0, 2501, std::string("Lumascribe ") + name, ProductExports(name));
  }
  WriteMachineFile(dir + "lmshelp.chm", "ITSF Lumascribe help");
  WriteVersionedFile("C:\\Program Files\\Lumascribe\\lumtray.exe", 1, 0, 0, 2501, "Lumascribe tray");
}

}  // namespace winsim

// Resource-only PE images with a version resource: the machine's product files and test files.
#include <vector>

#include "winsim/api_version.h"
#include "winsim/file_state.h"
#include "winsim/machine.h"
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

// A PE32+ image of headers and one ".rsrc" section that holds the version resource alone.
std::string PeImage(const std::string& version, bool dll) {
  constexpr uint32_t kFileAlign = 0x200, kSectionAlign = 0x1000, kRsrcRva = 0x1000;
  constexpr uint32_t kPe = 0x40, kOptional = kPe + 24, kSection = kOptional + 240;
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

  std::string image(kFileAlign, '\0');  // the headers
  Put(image, 0, 0x5A4D, 2);  // "MZ"
  Put(image, 0x3C, kPe, 4);
  Put(image, kPe, 0x00004550, 4);  // "PE\0\0"
  Put(image, kPe + 4, 0x8664, 2);
  Put(image, kPe + 6, 1, 2);
  Put(image, kPe + 20, 240, 2);
  Put(image, kPe + 22, dll ? 0x2022 : 0x0022, 2);  // executable, large addresses, DLL
  Put(image, kOptional, 0x20B, 2);
  Put(image, kOptional + 8, rsrc.size(), 4);
  Put(image, kOptional + 24, dll ? 0x180000000ull : 0x140000000ull, 8);
  Put(image, kOptional + 32, kSectionAlign, 4);
  Put(image, kOptional + 36, kFileAlign, 4);
  Put(image, kOptional + 40, 6, 2);
  Put(image, kOptional + 48, 6, 2);
  Put(image, kOptional + 56, kRsrcRva + (rsrcSize + kSectionAlign - 1) / kSectionAlign * kSectionAlign, 4);
  Put(image, kOptional + 60, kFileAlign, 4);
  Put(image, kOptional + 68, 2, 2);       // Windows GUI
  Put(image, kOptional + 70, 0x0160, 2);  // high-entropy VA, dynamic base, NX
  Put(image, kOptional + 72, 0x100000, 8);
  Put(image, kOptional + 80, 0x1000, 8);
  Put(image, kOptional + 88, 0x100000, 8);
  Put(image, kOptional + 96, 0x1000, 8);
  Put(image, kOptional + 108, 16, 4);
  Put(image, kOptional + 112 + 2 * 8, kRsrcRva, 4);
  Put(image, kOptional + 112 + 2 * 8 + 4, rsrcSize, 4);
  image.replace(kSection, 5, ".rsrc");
  Put(image, kSection + 8, rsrcSize, 4);
  Put(image, kSection + 12, kRsrcRva, 4);
  Put(image, kSection + 16, rsrc.size(), 4);
  Put(image, kSection + 20, kFileAlign, 4);
  Put(image, kSection + 36, 0x40000040, 4);  // initialised data, readable
  return image + rsrc;
}

bool EndsWithNoCase(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && EqualNoCase(text.substr(text.size() - end.size()), end);
}

}  // namespace

bool WriteVersionedFile(const std::string& windowsPath, WORD a, WORD b, WORD c, WORD d,
                        const std::string& payload) {
  bool application = EndsWithNoCase(windowsPath, ".exe");
  std::string version = VersionBlock(a, b, c, d, application ? VFT_APP : VFT_DLL);
  return WriteMachineFile(windowsPath, PeImage(version, !application) + payload);
}

const char* const kProductFileNames[8] = {"lmsmon64.dll", "lmsdrv64.dll", "lmsui64.dll", "lmsmon32.dll",
                                          "lmsdrv32.dll", "lmsui32.dll", "lmshelp.chm", "lumtray.exe"};

void WriteProductFiles() {
  const std::string dir = "C:\\Program Files\\Lumascribe\\install\\";
  for (const char* name : kProductFileNames) {
    if (EndsWithNoCase(name, ".dll")) WriteVersionedFile(dir + name, 1, 0, 0, 2501, std::string("Lumascribe ") + name);
  }
  WriteMachineFile(dir + "lmshelp.chm", "ITSF Lumascribe help");
  WriteVersionedFile("C:\\Program Files\\Lumascribe\\lumtray.exe", 1, 0, 0, 2501, "Lumascribe tray");
}

}  // namespace winsim

// combase.dll: RoInitialize, HSTRINGs and RoGetActivationFactory for the one runtime class the
// tool asks, Windows.Graphics.Printing.ProtectedPrint.WindowsProtectedPrintInfo (Windows 11 24H2,
// build 26100, on: its class page on learn.microsoft.com).
#include "combase.h"

#include <cstring>

#include "winsim/machine.h"

namespace winsim {

namespace {

const HRESULT kNotImplemented = HRESULT(0x80004001);    // E_NOTIMPL
const HRESULT kNoInterface = HRESULT(0x80004002);       // E_NOINTERFACE
const HRESULT kNullPointer = HRESULT(0x80004003);       // E_POINTER
const HRESULT kInvalidArgument = HRESULT(0x80070057);   // E_INVALIDARG
const HRESULT kClassNotRegistered = HRESULT(0x80040154);  // REGDB_E_CLASSNOTREG
const HRESULT kNotInitialized = HRESULT(0x800401F0);    // CO_E_NOTINITIALIZED
const char kClassName[] = "Windows.Graphics.Printing.ProtectedPrint.WindowsProtectedPrintInfo";
const GUID kStaticsId = {0xA7D212F3, 0x4168, 0x5485, {0x98, 0xAB, 0xD8, 0x9D, 0x04, 0x60, 0x3B, 0x40}};
const GUID kUnknownId = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const GUID kInspectableId = {0xAF86E2E0, 0xB12D, 0x4C6A, {0x9C, 0x5A, 0xD7, 0xAA, 0x65, 0x10, 0x1E, 0x90}};
const DWORD kFirstBuild = 26100;  // the class exists from Windows 11 24H2 on

// A fault planned for an HRESULT call: an HRESULT as it is, a Win32 code as HRESULT_FROM_WIN32.
HRESULT FaultResult(const char* call, const std::string& key = std::string()) {
  DWORD error = FaultFor(call, key);
  if (!error) return S_OK;
  return error & 0x80000000 ? HRESULT(error) : HRESULT(0x80070000 | (error & 0xFFFF));
}

bool SameId(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }

// The statics object: IInspectable's six methods, then get_IsProtectedPrintEnabled in slot 6
// (the statics interface {A7D212F3-4168-5485-98AB-D89D04603B40}).
struct Statics;
struct StaticsTable {
  HRESULT (*queryInterface)(Statics*, const GUID&, void**);
  ULONG (*addRef)(Statics*);
  ULONG (*release)(Statics*);
  HRESULT (*getIids)(Statics*, ULONG*, GUID**);
  HRESULT (*getRuntimeClassName)(Statics*, void**);
  HRESULT (*getTrustLevel)(Statics*, int*);
  HRESULT (*isProtectedPrintEnabled)(Statics*, BYTE*);
};
struct Statics {
  const StaticsTable* table;
};

ULONG AddRef(Statics*) { return ++M().runtime.references; }

ULONG Release(Statics*) {
  uint32_t& references = M().runtime.references;
  if (references > 0) --references;
  return references;
}

HRESULT QueryInterface(Statics* self, const GUID& id, void** out) {
  if (!out) return kNullPointer;
  *out = nullptr;
  if (!SameId(id, kStaticsId) && !SameId(id, kUnknownId) && !SameId(id, kInspectableId)) return kNoInterface;
  AddRef(self);
  *out = self;
  return S_OK;
}

HRESULT GetIids(Statics*, ULONG*, GUID**) { return kNotImplemented; }
HRESULT GetRuntimeClassName(Statics*, void**) { return kNotImplemented; }
HRESULT GetTrustLevel(Statics*, int*) { return kNotImplemented; }

HRESULT IsProtectedPrintEnabled(Statics*, BYTE* value) {
  Trace("IsProtectedPrintEnabled");
  if (HRESULT fault = FaultResult("IsProtectedPrintEnabled")) return fault;
  if (!value) return kNullPointer;
  *value = ProtectedPrintOn() ? 1 : 0;
  return S_OK;
}

const StaticsTable kTable = {QueryInterface, AddRef, Release, GetIids, GetRuntimeClassName, GetTrustLevel,
                             IsProtectedPrintEnabled};
Statics g_statics = {&kTable};

HRESULT RoInitialize(int type) {
  Trace("RoInitialize", std::to_string(type));
  if (HRESULT fault = FaultResult("RoInitialize")) return fault;
  if (type != 0 && type != 1) return kInvalidArgument;  // RO_INIT_SINGLETHREADED, RO_INIT_MULTITHREADED
  return M().runtime.initializations++ == 0 ? S_OK : HRESULT(1);  // S_FALSE: already set up
}

void RoUninitialize() {
  Trace("RoUninitialize");
  if (M().runtime.initializations > 0) --M().runtime.initializations;
}

HRESULT WindowsCreateString(const WCHAR* text, UINT length, void** string) {
  Trace("WindowsCreateString", text ? Utf8(std::u16string(text, length)) : std::string());
  if (HRESULT fault = FaultResult("WindowsCreateString")) return fault;
  if (!string) return kInvalidArgument;
  *string = nullptr;
  if (length == 0) return S_OK;  // the empty string is the null HSTRING
  if (!text) return kNullPointer;
  auto* made = new std::u16string(text, length);
  M().runtime.strings.insert(made);
  *string = made;
  return S_OK;
}

HRESULT WindowsDeleteString(void* string) {
  Trace("WindowsDeleteString");
  if (string && M().runtime.strings.erase(string)) delete static_cast<std::u16string*>(string);
  return S_OK;
}

// Without RoInitialize a desktop program gets CO_E_NOTINITIALIZED (github.com/microsoft/cppwinrt
// issue 6); a class Windows lacks, REGDB_E_CLASSNOTREG (cppwinrt pull request 559).
HRESULT RoGetActivationFactory(void* classId, const GUID& id, void** factory) {
  std::string name = classId && M().runtime.strings.count(classId) ? Utf8(*static_cast<std::u16string*>(classId)) : "";
  Trace("RoGetActivationFactory", name);
  if (HRESULT fault = FaultResult("RoGetActivationFactory", name)) return fault;
  if (!factory) return kNullPointer;
  *factory = nullptr;
  if (M().runtime.initializations == 0) return kNotInitialized;
  if (name != kClassName || M().os.buildNumber < kFirstBuild) return kClassNotRegistered;
  return QueryInterface(&g_statics, id, factory);
}

template <typename F>
FARPROC Address(F* function) {
  return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(function));
}

}  // namespace

FARPROC CombaseExport(const std::string& name) {
  if (name == "RoInitialize") return Address(&RoInitialize);
  if (name == "RoUninitialize") return Address(&RoUninitialize);
  if (name == "RoGetActivationFactory") return Address(&RoGetActivationFactory);
  if (name == "WindowsCreateString") return Address(&WindowsCreateString);
  if (name == "WindowsDeleteString") return Address(&WindowsDeleteString);
  return nullptr;
}

}  // namespace winsim

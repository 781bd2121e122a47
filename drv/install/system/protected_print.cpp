#include "system/protected_print.h"

#include "core/install_context.h"
#include "core/install_log.h"
#include "core/system_calls.h"

namespace inst {

namespace {

typedef HRESULT(WINAPI* RoInitializeCall)(int);
typedef void(WINAPI* RoUninitializeCall)();
typedef HRESULT(WINAPI* CreateStringCall)(const WCHAR*, UINT, void**);
typedef HRESULT(WINAPI* DeleteStringCall)(void*);
typedef HRESULT(WINAPI* FactoryCall)(void*, const GUID&, void**);

const int kMultithreaded = 1;                                // RO_INIT_MULTITHREADED
const HRESULT kChangedMode = static_cast<HRESULT>(0x80010106);  // RPC_E_CHANGED_MODE: COM is set up already
const WCHAR kClassName[] = TEXT("Windows.Graphics.Printing.ProtectedPrint.WindowsProtectedPrintInfo");
// IWindowsProtectedPrintInfoStatics.
const GUID kStaticsId = {0xA7D212F3, 0x4168, 0x5485, {0x98, 0xAB, 0xD8, 0x9D, 0x04, 0x60, 0x3B, 0x40}};

// The statics interface: IInspectable's six methods, then the property's getter.
struct ProtectedPrintStatics {
  struct Table {
    void* queryInterface;
    void* addRef;
    ULONG(WINAPI* release)(ProtectedPrintStatics*);
    void* getIids;
    void* getRuntimeClassName;
    void* getTrustLevel;
    HRESULT(WINAPI* isProtectedPrintEnabled)(ProtectedPrintStatics*, BYTE*);
  };
  const Table* table;
};

// combase.dll is no KnownDLL: it is taken from the system directory only.
struct Combase {
  HMODULE module = LoadLibraryExW(TEXT("combase.dll"), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  ~Combase() {
    if (module) FreeLibrary(module);
  }
  FARPROC Find(const char* name) const { return GetProcAddress(module, name); }
};

struct WinRt {
  RoUninitializeCall uninitialize = nullptr;
  HRESULT status = E_FAIL;
  ~WinRt() {
    if (status >= 0 && uninitialize) uninitialize();
  }
};

struct ClassName {
  DeleteStringCall remove = nullptr;
  void* text = nullptr;
  ~ClassName() {
    if (text) remove(text);
  }
};

struct Statics {
  ProtectedPrintStatics* object = nullptr;
  ~Statics() {
    if (object) object->table->release(object);
  }
};

bool NotAsked(InstallContext* context, const WCHAR* step, DWORD code) {
  LogLine(context, TEXT("Protected print mode could not be asked: %s failed - (%s): taken as off"), step,
          SystemText(code).Shown());
  return false;
}

}  // namespace

bool ProtectedPrintEnabled(InstallContext* context) {
  Combase combase;
  if (!combase.module) return NotAsked(context, TEXT("LoadLibraryExW(combase.dll)"), GetLastError());
  auto initialize = As<RoInitializeCall>(combase.Find("RoInitialize"));
  auto uninitialize = As<RoUninitializeCall>(initialize ? combase.Find("RoUninitialize") : nullptr);
  auto factoryOf = As<FactoryCall>(uninitialize ? combase.Find("RoGetActivationFactory") : nullptr);
  auto create = As<CreateStringCall>(factoryOf ? combase.Find("WindowsCreateString") : nullptr);
  auto remove = As<DeleteStringCall>(create ? combase.Find("WindowsDeleteString") : nullptr);
  if (!remove) return NotAsked(context, TEXT("GetProcAddress"), GetLastError());
  WinRt winrt{uninitialize, initialize(kMultithreaded)};
  if (winrt.status < 0 && winrt.status != kChangedMode)
    return NotAsked(context, TEXT("RoInitialize"), DWORD(winrt.status));
  ClassName name{remove, nullptr};
  HRESULT status = create(kClassName, UINT(sizeof(kClassName) / sizeof(WCHAR) - 1), &name.text);
  if (status < 0) return NotAsked(context, TEXT("WindowsCreateString"), DWORD(status));
  Statics statics;
  status = factoryOf(name.text, kStaticsId, reinterpret_cast<void**>(&statics.object));
  if (status < 0 || !statics.object) return NotAsked(context, TEXT("RoGetActivationFactory"), DWORD(status));
  BYTE enabled = 0;
  status = statics.object->table->isProtectedPrintEnabled(statics.object, &enabled);
  if (status < 0) return NotAsked(context, TEXT("IsProtectedPrintEnabled"), DWORD(status));
  return enabled != 0;
}

}  // namespace inst

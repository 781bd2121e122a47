// Boundary descriptors and private namespaces (learn.microsoft.com, "Object Namespaces", and
// the pages of the calls below; shared/notes/windows-2026.md for the error codes seen in use).
#include <algorithm>

#include "winsim/machine.h"
#include "winsim/windows.h"

namespace winsim {

namespace {

SecurityState& S() { return M().security; }

bool IsReferenced(const PrivateNamespace& n) {
  for (const auto& [handle, k] : M().processes.handles)
    if (k.kind == ObjectKind::Namespace && k.object == n.id) return true;
  if (n.destroyed) return false;
  for (const Process& p : M().processes.processes)
    if (!p.exited && p.namespaceKey == n.key) return true;
  return false;
}

BoundaryDescriptor* FindBoundary(const void* descriptor) {
  auto found = S().boundaries.find(uint64_t(reinterpret_cast<uintptr_t>(descriptor)));
  return found == S().boundaries.end() ? nullptr : &found->second;
}

// Whether the running program has the namespace open already.
bool HeldHere(uint64_t id) {
  for (const auto& [handle, k] : M().processes.handles)
    if (k.kind == ObjectKind::Namespace && k.object == id) return true;
  return false;
}

HANDLE NamespaceHandle(uint64_t id, LPCWSTR alias) {
  HANDLE handle = NewObjectHandle(ObjectKind::Namespace, id);
  FindKernelHandle(handle)->alias = Utf8(alias);
  return handle;
}

}  // namespace

std::string NamespaceKey(const BoundaryDescriptor& boundary) {
  std::string key = boundary.name + "{";
  for (size_t i = 0; i < boundary.sids.size(); ++i) key += (i ? "," : "") + boundary.sids[i];
  return key + "}";
}

PrivateNamespace* FindNamespace(const std::string& key) {
  for (PrivateNamespace& n : S().namespaces)
    if (!n.destroyed && n.key == key) return &n;
  return nullptr;
}

PrivateNamespace* FindNamespace(uint64_t id) {
  for (PrivateNamespace& n : S().namespaces)
    if (n.id == id) return &n;
  return nullptr;
}

uint64_t HoldNamespace(const std::string& key) {
  if (PrivateNamespace* n = FindNamespace(key)) return n->id;
  PrivateNamespace n;
  n.id = S().nextId++;
  n.key = key;
  S().namespaces.push_back(n);
  return n.id;
}

std::string NamespacePrefix(uint64_t id) {
  PrivateNamespace* n = FindNamespace(id);
  return (n ? n->key : std::string()) + "#" + std::to_string(id);
}

void PruneNamespaces() {
  std::erase_if(S().namespaces, [](const PrivateNamespace& n) { return !IsReferenced(n); });
}

// "Global\", "Local\" and "Session\" are the system's own prefixes (learn.microsoft.com,
// "Kernel object namespaces"); any other prefix must be the alias of a namespace the program
// opened, else the path to the object does not exist.
std::string ResolveObjectName(const std::string& name, DWORD* error) {
  *error = 0;
  size_t cut = name.find('\\');
  if (cut == std::string::npos) return name;
  std::string prefix = name.substr(0, cut);
  for (const char* system : {"Global", "Local", "Session"})
    if (EqualNoCase(prefix, system)) return name;
  for (const auto& [handle, k] : M().processes.handles)
    if (k.kind == ObjectKind::Namespace && k.alias == prefix) return NamespacePrefix(k.object) + name.substr(cut);
  *error = ERROR_PATH_NOT_FOUND;
  return std::string();
}

}  // namespace winsim

using namespace winsim;

HANDLE CreateBoundaryDescriptorW(LPCWSTR name, ULONG) {
  Trace("CreateBoundaryDescriptorW", Utf8(name));
  if (DWORD error = FaultFor("CreateBoundaryDescriptorW", Utf8(name))) return Fail(error, HANDLE(nullptr));
  if (!name) return Fail(ERROR_INVALID_PARAMETER, HANDLE(nullptr));
  uint64_t handle = NewKernelHandle();
  S().boundaries[handle] = {Utf8(name), {}};
  return reinterpret_cast<HANDLE>(uintptr_t(handle));
}

BOOL AddSIDToBoundaryDescriptor(HANDLE* descriptor, PSID sid) {
  std::string text = SidText(sid);
  Trace("AddSIDToBoundaryDescriptor", text);
  if (DWORD error = FaultFor("AddSIDToBoundaryDescriptor", text)) return Fail(error, FALSE);
  BoundaryDescriptor* boundary = descriptor ? FindBoundary(*descriptor) : nullptr;
  if (!boundary || text.empty()) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  boundary->sids.push_back(text);
  return TRUE;
}

void DeleteBoundaryDescriptor(HANDLE descriptor) {
  Trace("DeleteBoundaryDescriptor");
  S().boundaries.erase(uint64_t(reinterpret_cast<uintptr_t>(descriptor)));
}

// "The caller must be within the specified boundary for the create operation to succeed"
// (CreatePrivateNamespaceW): every SID of the boundary is one the caller's token holds; the
// page names no error code for a caller outside it, winsim gives ERROR_ACCESS_DENIED.
HANDLE CreatePrivateNamespaceW(LPSECURITY_ATTRIBUTES attributes, LPVOID descriptor, LPCWSTR alias) {
  BoundaryDescriptor* boundary = FindBoundary(descriptor);
  std::string key = boundary ? NamespaceKey(*boundary) : std::string();
  Trace("CreatePrivateNamespaceW", key + " as " + Utf8(alias));
  if (DWORD error = FaultFor("CreatePrivateNamespaceW", key)) return Fail(error, HANDLE(nullptr));
  if (!boundary || !alias) return Fail(ERROR_INVALID_PARAMETER, HANDLE(nullptr));
  for (const std::string& sid : boundary->sids)
    if (!HoldsSid(S().tool, sid)) return Fail(ERROR_ACCESS_DENIED, HANDLE(nullptr));
  if (FindNamespace(key)) return Fail(ERROR_ALREADY_EXISTS, HANDLE(nullptr));
  PrivateNamespace n;
  n.id = S().nextId++;
  n.key = key;
  n.sddl = DescriptorText(attributes);
  S().namespaces.push_back(n);
  SetLastError(ERROR_SUCCESS);
  return NamespaceHandle(n.id, alias);
}

// A namespace whose last handle was closed is gone: ERROR_PATH_NOT_FOUND; one this program
// holds already: ERROR_DUP_NAME (shared/notes/windows-2026.md). Its DACL decides who opens it.
HANDLE OpenPrivateNamespaceW(LPVOID descriptor, LPCWSTR alias) {
  BoundaryDescriptor* boundary = FindBoundary(descriptor);
  std::string key = boundary ? NamespaceKey(*boundary) : std::string();
  Trace("OpenPrivateNamespaceW", key + " as " + Utf8(alias));
  if (DWORD error = FaultFor("OpenPrivateNamespaceW", key)) return Fail(error, HANDLE(nullptr));
  if (!boundary || !alias) return Fail(ERROR_INVALID_PARAMETER, HANDLE(nullptr));
  PrivateNamespace* n = FindNamespace(key);
  if (!n) return Fail(ERROR_PATH_NOT_FOUND, HANDLE(nullptr));
  if (HeldHere(n->id)) return Fail(ERROR_DUP_NAME, HANDLE(nullptr));
  if (!DaclAdmits(n->sddl, S().tool)) return Fail(ERROR_ACCESS_DENIED, HANDLE(nullptr));
  return NamespaceHandle(n->id, alias);
}

// Without PRIVATE_NAMESPACE_FLAG_DESTROY only the handle goes; with it the namespace can no
// longer be opened (ClosePrivateNamespace page).
BOOLEAN ClosePrivateNamespace(HANDLE handle, ULONG flags) {
  Trace("ClosePrivateNamespace", DescribeKernelObject(handle) + (flags & PRIVATE_NAMESPACE_FLAG_DESTROY ? " destroy" : ""));
  if (DWORD error = FaultFor("ClosePrivateNamespace", DescribeKernelObject(handle))) return Fail(error, BOOLEAN(FALSE));
  KernelHandle* k = FindKernelHandle(handle);
  if (!k || k->kind != ObjectKind::Namespace) return Fail(ERROR_INVALID_HANDLE, BOOLEAN(FALSE));
  if (flags & PRIVATE_NAMESPACE_FLAG_DESTROY)
    if (PrivateNamespace* n = FindNamespace(k->object)) n->destroyed = true;
  M().processes.handles.erase(uint64_t(reinterpret_cast<uintptr_t>(handle)));
  PruneNamespaces();
  return TRUE;
}

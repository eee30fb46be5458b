// kernel32's named file mappings in the simulated Win32.
#include "machine.h"
#include <cstring>

HANDLE OpenFileMappingA(DWORD access, BOOL inheritHandle, LPCSTR name) {
  auto &m = machine();
  m.mappingOpens.push_back({access, inheritHandle, name ? name : ""});
  if (!name || !m.mappings.count(name)) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  auto h = std::make_unique<SimHandle>(SimHandle{-1, name});
  HANDLE handle = h.get();
  m.mappingHandles[handle] = std::move(h);
  return handle;
}

// A view of 0 bytes reaches to the mapping's end; one that reaches past it fails, as on Windows.
LPVOID MapViewOfFile(HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow, SIZE_T size) {
  auto &m = machine();
  auto h = m.mappingHandles.find(mapping);
  if (h == m.mappingHandles.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  const std::string &bytes = m.mappings.at(h->second->path);
  if (!(access & FILE_MAP_READ) || offsetHigh != 0 || offsetLow > bytes.size() ||
      size > bytes.size() - offsetLow) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  if (size == 0) size = bytes.size() - offsetLow;
  auto view = std::make_unique<char[]>(size);
  std::memcpy(view.get(), bytes.data() + offsetLow, size);
  LPVOID address = view.get();
  m.views[address] = {std::move(view), size};
  return address;
}

BOOL UnmapViewOfFile(LPCVOID view) {
  if (machine().views.erase(view)) return TRUE;
  SetLastError(ERROR_INVALID_PARAMETER);
  return FALSE;
}

namespace sim {
void createFileMapping(const std::string &name, const std::string &bytes) {
  machine().mappings[name] = bytes;
}
SIZE_T viewSize(LPCVOID view) {
  auto v = machine().views.find(view);
  return v == machine().views.end() ? 0 : v->second.size;
}
int openMappings() {
  return static_cast<int>(machine().mappingHandles.size());
}
int mappedViews() {
  return static_cast<int>(machine().views.size());
}
std::vector<MappingOpen> &mappingOpens() {
  return machine().mappingOpens;
}
} // namespace sim

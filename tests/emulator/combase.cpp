// combase of the simulated Win32, served to the guest: HSTRINGs and the activation factory of
// the media sessions' manager. An HSTRING crosses as the guest address of its UTF-16 text,
// which WindowsGetStringRawBuffer gives back.
#include "tests/emulator/sessionobjects.h"

#include <unicorn/unicorn.h>

#include <cstring>

namespace emu {

namespace {

using namespace sessions;
using win32::guidAt;

std::uint32_t roGetActivationFactory(const Call &c) {
  GUID iid = guidAt(c.arg(1), "RoGetActivationFactory");
  void *factory = nullptr;
  HRESULT r = sim::roGetActivationFactory(hostString(c.arg(0)), iid, c.arg(2) ? &factory : nullptr);
  if (c.arg(2)) put(c.arg(2), static_cast<ManagerStatics *>(factory));
  return hresult(r);
}

std::uint32_t windowsCreateString(const Call &c) {
  std::wstring text = c.arg(0) ? win32::readWide(c.arg(0), c.arg(1)) : std::wstring();
  HSTRING string = nullptr;
  HRESULT r = sim::windowsCreateString(c.arg(0) ? text.c_str() : nullptr, c.arg(1),
                                       c.arg(2) ? &string : nullptr);
  if (c.arg(2)) put(c.arg(2), string);
  return hresult(r);
}

std::uint32_t windowsDeleteString(const Call &c) {
  HRESULT r = sim::windowsDeleteString(hostString(c.arg(0)));
  sessionObjects().strings.erase(c.arg(0));
  return hresult(r);
}

// The guest's own copy of the text is the buffer.
std::uint32_t windowsGetStringRawBuffer(const Call &c) {
  UINT32 length = 0;
  sim::windowsGetStringRawBuffer(hostString(c.arg(0)), &length);
  if (c.arg(1)) write32(c.arg(1), length);
  if (c.arg(0)) return c.arg(0);
  Addr empty = takeSessionArea(2);
  write32(empty, 0);
  return empty;
}

// shell32's, which GetProcAddress hands out.
std::uint32_t shCreateItemInKnownFolder(const Call &c) {
  std::wstring item = c.arg(2) ? win32::readWideCString(c.arg(2)) : std::wstring();
  void *object = nullptr;
  HRESULT r = sim::shCreateItemInKnownFolder(
      guidAt(c.arg(0), "SHCreateItemInKnownFolder"), c.arg(1), c.arg(2) ? item.c_str() : nullptr,
      guidAt(c.arg(3), "SHCreateItemInKnownFolder"), c.arg(4) ? &object : nullptr);
  if (c.arg(4)) put(c.arg(4), static_cast<ShellItem *>(object));
  return hresult(r);
}

std::uint32_t coTaskMemFree(const Call &c) {
  if (c.arg(0) && !sessionObjects().taskMemory.erase(c.arg(0)))
    throw Fault("CoTaskMemFree of " + std::to_string(c.arg(0)) + ", which COM never handed out");
  return 0;
}

} // namespace

void resetCombaseBindings() {
  sessionObjects() = SessionObjects{};
  map(sessionArea, sessionAreaSize, UC_PROT_READ);
  nameRegion(sessionArea, sessionArea + sessionAreaSize, "the media sessions' objects");
  for (int i = 0; i <= static_cast<int>(SessionKind::asyncInfo); ++i) {
    auto k = static_cast<SessionKind>(i);
    std::vector<Method> methods = methodsOf(k);
    Addr vtable = takeSessionArea(4 * static_cast<Addr>(methods.size()));
    writeVtable(vtable, nameOf(k), methods);
    sessionObjects().vtables[k] = vtable;
  }
}

const std::vector<Binding> &combaseBindings() {
  constexpr Convention w = Convention::stdcall;
  static const std::vector<Binding> bindings{
      {"combase.dll", "RoGetActivationFactory", w, 3, roGetActivationFactory, 0},
      {"combase.dll", "WindowsCreateString", w, 3, windowsCreateString, 0},
      {"combase.dll", "WindowsDeleteString", w, 1, windowsDeleteString, 0},
      {"combase.dll", "WindowsGetStringRawBuffer", w, 2, windowsGetStringRawBuffer, 0},
      {"shell32.dll", "SHCreateItemInKnownFolder", w, 5, shCreateItemInKnownFolder, 0},
      {"ole32.dll", "CoTaskMemFree", w, 1, coTaskMemFree, 0},
  };
  return bindings;
}

} // namespace emu

#include "player/sessions/name.h"

#include "host/compointer.h"
#include "player/sessions/api.h"

#include <algorithm>

namespace {

using namespace std::string_view_literals;
using Text = std::basic_string_view<WCHAR>;

constexpr std::size_t hashLength = 16;

bool sameIgnoringCase(Text text, Text lower) {
  return std::equal(text.begin(), text.end(), lower.begin(), lower.end(), [](WCHAR a, WCHAR b) {
    return (a >= L'A' && a <= L'Z' ? a - L'A' + L'a' : a) == b;
  });
}

bool isHash(Text id) {
  return id.size() == hashLength && std::all_of(id.begin(), id.end(), [](WCHAR c) {
           return (c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'F') || (c >= L'a' && c <= L'f');
         });
}

// A packaged app's id is its package family (name, "_", publisher hash), "!" and the app's own
// id, which many apps leave at "App".
Text packagedName(Text appId, std::size_t bang) {
  Text app = appId.substr(bang + 1);
  if (!sameIgnoringCase(app, L"app"sv)) return app;
  Text family = appId.substr(0, bang);
  return family.substr(0, family.find(L'_'));
}

// shell32 for one lookup: it serves the Apps folder from Windows 8 on, and its function from
// Vista on.
struct Shell32 {
  HMODULE module = LoadLibraryA("shell32.dll");
  Shell32() = default;
  ~Shell32() {
    if (module) FreeLibrary(module);
  }
  Shell32(const Shell32 &) = delete;
  Shell32 &operator=(const Shell32 &) = delete;
  sessionapi::SHCreateItemInKnownFolderFunction createItem() const {
    if (!module) return nullptr;
    return reinterpret_cast<sessionapi::SHCreateItemInKnownFolderFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(module, "SHCreateItemInKnownFolder")));
  }
};

// A text the shell allocated, freed with COM's allocator.
struct ShellText {
  LPWSTR text = nullptr;
  ShellText() = default;
  ~ShellText() { CoTaskMemFree(text); }
  ShellText(const ShellText &) = delete;
  ShellText &operator=(const ShellText &) = delete;
};

} // namespace

std::basic_string<WCHAR> appsFolderName(const std::basic_string<WCHAR> &appId) {
  using namespace sessionapi;
  Shell32 shell;
  auto createItem = shell.createItem();
  ComPointer<ShellItem> item;
  ShellText name;
  if (!createItem || appId.empty() ||
      !item.took(createItem(appsFolder, knownFolderDontVerify, appId.c_str(), iidShellItem,
                            item.outVoid())) ||
      FAILED(item->GetDisplayName(normalDisplayName, &name.text)) || !name.text)
    return {};
  return name.text;
}

std::basic_string<WCHAR> programName(Text appId) {
  if (std::size_t bang = appId.find(L'!'); bang != appId.npos) appId = packagedName(appId, bang);
  std::size_t cut = appId.find_last_of(L"\\/"sv);
  if (cut != appId.npos) appId.remove_prefix(cut + 1);
  Text exe = L".exe"sv;
  if (appId.size() > exe.size() && sameIgnoringCase(appId.substr(appId.size() - exe.size()), exe))
    appId.remove_suffix(exe.size());
  return std::basic_string<WCHAR>(appId.empty() || isHash(appId) ? L"Player"sv : appId);
}

std::basic_string<WCHAR> displayName(const std::basic_string<WCHAR> &appId) {
  std::basic_string<WCHAR> name = appsFolderName(appId);
  // An id the folder does not know may come back as itself.
  return name.empty() || name == appId ? programName(appId) : name;
}

#pragma once
// The state behind every part of the simulated Win32, one machine, out of the tests' sight.
#include "win32sim.h"
#include <map>
#include <memory>
#include <set>

struct SimWindow {
  std::string className;
  std::string caption;
  sim::WindowProc proc;
  bool hung = false;
  bool refusing = false;
};
struct SimInstance {};
struct SimIcon {
  int id;
};
struct SimKey {
  std::string path;
};
struct SimHandle {
  int fd;
  std::string path;
};
struct SimProcess {
  std::map<std::uintptr_t, std::string> pages; // by their first address
  std::set<std::uintptr_t> protectedPages;
  bool denyOpen = false;
  sim::Wow64 wow64 = sim::Wow64::no;
};
struct SimView {
  std::unique_ptr<char[]> bytes;
  SIZE_T size;
};
struct SimProcessHandle {
  std::unique_ptr<SimHandle> handle;
  DWORD processId;
  DWORD access;
};

struct Machine {
  std::vector<std::unique_ptr<SimWindow>> windows;
  DWORD lastError = 0;
  std::vector<sim::SentMessage> sent;
  std::uint64_t waitedOnHungMs = 0;
  std::vector<sim::MessageBoxCall> boxes;
  std::vector<sim::ShellCall> shell;
  std::function<void(const sim::ShellCall &)> onShell;
  std::vector<DWORD> sleeps;
  std::uint64_t clockMs = 0; // what every Sleep of every thread added up
  std::function<void(DWORD)> onSleep;
  std::map<std::string, std::map<std::string, std::string>> registry;
  std::map<SimKey *, std::unique_ptr<SimKey>> keys;
  std::set<std::string> writeDenied;
  std::set<std::string> readsFail;
  std::map<std::string, DWORD> reportedSizes;
  std::map<SimHandle *, std::unique_ptr<SimHandle>> files;
  std::vector<sim::FileOpen> fileOpens;
  std::map<SimIcon *, int> icons;
  int loadedIcons = 0;
  std::vector<int> moduleIcons{1, 2, 3, 5, 6, 7, 8, 10, 11, 12, 13, 100};
  sim::Mixer mixer;
  std::map<std::string, std::string> environment; // by lower-case name
  LCID systemLocale = 0x0419;
  LCID userLocale = 0x0419;
  std::map<SimWindow *, DWORD> windowProcesses;
  std::map<DWORD, SimProcess> processes;
  DWORD nextProcessId = 0x1000;
  std::map<SimHandle *, SimProcessHandle> processHandles;
  std::vector<sim::ProcessOpen> processOpens;
  std::map<DWORD, std::pair<HWND, HWND>> exitsAtOpen; // by the id: the player and the heir
  std::vector<sim::MemoryRead> memoryReads;
  sim::Wow64 ownWow64 = sim::Wow64::no;
  bool hasIsWow64Process = true;
  std::string programFileName = "C:\\Messenger\\Messenger.exe";
  std::string pluginFileName = "C:\\Messenger\\plugins\\QUIB_Ctl.dll";
  std::string systemDirectory = "C:\\WINDOWS\\system32";
  std::map<std::string, std::string> mappings; // by name
  std::map<SimHandle *, std::unique_ptr<SimHandle>> mappingHandles;
  std::map<LPCVOID, SimView> views;
  std::vector<sim::MappingOpen> mappingOpens;
};

inline Machine &machine() {
  static Machine m;
  return m;
}

// The code page conversions the parts share (nls.cpp), as MultiByteToWideChar and
// WideCharToMultiByte make them with flags 0 and no default character of the caller's.
std::wstring wideFrom(UINT codePage, std::string_view bytes);
std::string bytesFrom(UINT codePage, std::wstring_view wide);

inline std::string lower(std::string s) {
  for (char &c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

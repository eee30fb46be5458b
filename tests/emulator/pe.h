#pragma once
// A PE32 DLL laid into the guest's memory as the Windows loader lays it: headers and sections
// at the base, base relocations applied, and what is needed to bind and run it.
#include "tests/emulator/cpu.h"

#include <map>
#include <string>
#include <vector>

namespace emu::pe {

struct Import {
  std::string dll; // lower case
  std::string name;
  Addr slot; // its entry in the import address table
};

struct Section {
  Addr address;
  Addr size;
  std::uint32_t characteristics;
  std::string name; // as the header has it, cut at 8 bytes (".eh_fram")
};

struct Image {
  Addr base = 0;
  Addr preferredBase = 0;
  Addr size = 0;
  Addr entryPoint = 0;
  std::size_t relocations = 0; // fix-ups applied
  std::vector<Section> sections;
  std::vector<Import> imports;
  std::map<std::string, Addr> exports;
  std::vector<Addr> tlsCallbacks;
  std::vector<int> iconIds; // integer ids of the icon-group resources
};

// Maps the file at base (0: its preferred base) into the started CPU and relocates it.
Image load(const std::string &path, Addr base = 0);
// Gives each section the protection its header asks for; after the imports are bound.
void protectSections(const Image &image);

} // namespace emu::pe

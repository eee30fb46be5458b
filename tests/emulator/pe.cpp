#include "tests/emulator/pe.h"

#include <unicorn/unicorn.h>

#include <algorithm>
#include <fstream>
#include <iterator>

namespace emu::pe {

namespace {

constexpr std::uint16_t machineI386 = 0x14C;
constexpr std::uint16_t pe32Magic = 0x10B;
constexpr std::uint16_t dllCharacteristic = 0x2000;
constexpr int exportDirectory = 0, importDirectory = 1, resourceDirectory = 2,
              relocationDirectory = 5, tlsDirectory = 9;
constexpr std::uint32_t rtGroupIcon = 14;
constexpr std::uint32_t sectionExecute = 0x20000000, sectionRead = 0x40000000,
                        sectionWrite = 0x80000000;

// The file's bytes, read at file offsets.
struct File {
  std::string bytes;
  std::uint32_t u16(std::size_t offset) const { return le(offset, 2); }
  std::uint32_t u32(std::size_t offset) const { return le(offset, 4); }
  std::uint32_t le(std::size_t offset, int width) const {
    if (offset + static_cast<std::size_t>(width) > bytes.size())
      throw Fault("the DLL file ends inside its headers");
    std::uint32_t v = 0;
    for (int i = width; i-- > 0;) v = v << 8 | static_cast<std::uint8_t>(bytes[offset + i]);
    return v;
  }
};

File readFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  if (!in)
    throw Fault("cannot read " + path +
                " (build it: cmake --preset win32 && cmake "
                "--build --preset win32)");
  return {std::string(std::istreambuf_iterator<char>(in), {})};
}

std::uint16_t read16(Addr address) {
  std::string b = read(address, 2);
  return static_cast<std::uint16_t>(static_cast<std::uint8_t>(b[0]) |
                                    static_cast<std::uint8_t>(b[1]) << 8);
}

struct Headers {
  std::size_t optional = 0;
  std::uint32_t sectionCount = 0;
  std::size_t sectionTable = 0;
  std::uint32_t directoryCount = 0;
  // The address (word 0) or the size (word 1) of a data directory; 0 when there is none.
  Addr directory(int index, const File &f, int word = 0) const {
    if (static_cast<std::uint32_t>(index) >= directoryCount) return 0;
    return f.u32(optional + 96 + 8 * static_cast<std::size_t>(index) + 4 * word);
  }
  Addr directorySize(int index, const File &f) const { return directory(index, f, 1); }
};

Headers checkHeaders(const File &f) {
  if (f.bytes.size() < 0x40 || f.bytes.compare(0, 2, "MZ") != 0)
    throw Fault("the DLL has no MZ header");
  std::size_t pe = f.u32(0x3C);
  if (f.bytes.compare(pe, 4, std::string("PE\0\0", 4)) != 0)
    throw Fault("the DLL has no PE signature");
  if (f.u16(pe + 4) != machineI386) throw Fault("the DLL is not for i386");
  if (!(f.u16(pe + 22) & dllCharacteristic)) throw Fault("the file is not a DLL");
  Headers h;
  h.optional = pe + 24;
  if (f.u16(h.optional) != pe32Magic) throw Fault("the DLL is not PE32");
  h.sectionCount = f.u16(pe + 6);
  h.sectionTable = h.optional + f.u16(pe + 20);
  h.directoryCount = std::min<std::uint32_t>(f.u32(h.optional + 92), 16);
  return h;
}

void mapSections(const File &f, const Headers &h, Image &image) {
  map(image.base, image.size, UC_PROT_ALL);
  write(image.base, std::string_view(f.bytes).substr(0, f.u32(h.optional + 60)));
  for (std::uint32_t i = 0; i < h.sectionCount; ++i) {
    std::size_t s = h.sectionTable + 40 * i;
    std::string name = f.bytes.substr(s, 8);
    Section section{f.u32(s + 12), f.u32(s + 8), f.u32(s + 36), name.substr(0, name.find('\0'))};
    std::uint32_t rawSize = std::min(f.u32(s + 16), section.size);
    std::size_t rawOffset = f.u32(s + 20);
    if (rawOffset + rawSize > f.bytes.size()) throw Fault("a section runs past the file's end");
    write(image.base + section.address, std::string_view(f.bytes).substr(rawOffset, rawSize));
    image.sections.push_back(section);
  }
}

void relocate(Addr table, Addr tableSize, Image &image) {
  Addr delta = image.base - image.preferredBase;
  for (Addr block = table; block < table + tableSize;) {
    Addr page = read32(image.base + block);
    Addr blockSize = read32(image.base + block + 4);
    if (blockSize < 8) throw Fault("a relocation block is shorter than its header");
    for (Addr entry = block + 8; entry < block + blockSize; entry += 2) {
      std::uint16_t fixup = read16(image.base + entry);
      int type = fixup >> 12;
      if (type == 0) continue; // padding
      if (type != 3) throw Fault("relocation type " + std::to_string(type) + " is not i386");
      Addr at = image.base + page + (fixup & 0xFFF);
      write32(at, read32(at) + delta);
      ++image.relocations;
    }
    block += blockSize;
  }
}

std::string lower(std::string s) {
  for (char &c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

void listImports(Addr table, Image &image) {
  for (Addr d = image.base + table;; d += 20) {
    Addr names = read32(d), dllName = read32(d + 12), slots = read32(d + 16);
    if (!names && !dllName && !slots) break;
    std::string dll = lower(readCString(image.base + dllName));
    if (!names) names = slots;
    for (Addr i = 0;; i += 4) {
      Addr entry = read32(image.base + names + i);
      if (!entry) break;
      if (entry & 0x80000000)
        throw Fault(dll + " is imported by ordinal " + std::to_string(entry & 0xFFFF));
      image.imports.push_back({dll, readCString(image.base + entry + 2), image.base + slots + i});
    }
  }
}

void listExports(Addr table, Image &image) {
  Addr d = image.base + table;
  Addr functions = read32(d + 28), names = read32(d + 32), ordinals = read32(d + 36);
  for (Addr i = 0; i < read32(d + 24); ++i) {
    std::string name = readCString(image.base + read32(image.base + names + 4 * i));
    std::uint16_t ordinal = read16(image.base + ordinals + 2 * i);
    image.exports[name] = image.base + read32(image.base + functions + 4 * ordinal);
  }
}

void listTlsCallbacks(Addr table, Image &image) {
  Addr callbacks = read32(image.base + table + 12);
  for (Addr cb = callbacks; cb && read32(cb); cb += 4) image.tlsCallbacks.push_back(read32(cb));
}

// The integer names of the icon groups: the second level of the resource tree under type 14.
void listIconIds(Addr root, Image &image) {
  auto entries = [&](Addr directory, auto visit) {
    Addr at = image.base + root + directory;
    Addr count = read16(at + 12) + read16(at + 14);
    for (Addr i = 0; i < count; ++i) visit(read32(at + 16 + 8 * i), read32(at + 20 + 8 * i));
  };
  entries(0, [&](std::uint32_t type, std::uint32_t target) {
    if (type != rtGroupIcon || !(target & 0x80000000)) return;
    entries(target & 0x7FFFFFFF, [&](std::uint32_t name, std::uint32_t) {
      if (!(name & 0x80000000)) image.iconIds.push_back(static_cast<int>(name));
    });
  });
}

} // namespace

Image load(const std::string &path, Addr base) {
  File f = readFile(path);
  Headers h = checkHeaders(f);
  Image image;
  image.preferredBase = f.u32(h.optional + 28);
  image.base = base ? base : image.preferredBase;
  image.size = (f.u32(h.optional + 56) + pageSize - 1) / pageSize * pageSize;
  image.entryPoint = f.u32(h.optional + 16);
  if (image.entryPoint) image.entryPoint += image.base;
  mapSections(f, h, image);
  if (image.base != image.preferredBase) {
    if (!h.directory(relocationDirectory, f)) throw Fault("the DLL cannot move: no relocations");
    relocate(h.directory(relocationDirectory, f), h.directorySize(relocationDirectory, f), image);
  }
  if (Addr t = h.directory(importDirectory, f)) listImports(t, image);
  if (Addr t = h.directory(exportDirectory, f)) listExports(t, image);
  if (Addr t = h.directory(tlsDirectory, f)) listTlsCallbacks(t, image);
  if (Addr t = h.directory(resourceDirectory, f)) listIconIds(t, image);
  return image;
}

void protectSections(const Image &image) {
  protect(image.base, pageSize, UC_PROT_READ);
  for (const Section &s : image.sections) {
    std::uint32_t protection = UC_PROT_NONE;
    if (s.characteristics & sectionRead) protection |= UC_PROT_READ;
    if (s.characteristics & sectionWrite) protection |= UC_PROT_WRITE;
    if (s.characteristics & sectionExecute) protection |= UC_PROT_EXEC;
    Addr size = (s.size + pageSize - 1) / pageSize * pageSize;
    if (size) protect(image.base + s.address, size, protection);
  }
}

} // namespace emu::pe

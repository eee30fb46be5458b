#include "tests/emulator/ehframe.h"

#include <algorithm>
#include <string_view>

namespace emu::ehframe {

namespace {

// Pointer encodings (DW_EH_PE_*): the value's form in the low bits, how it applies above.
constexpr int peOmit = 0xFF, peAbsptr = 0x00, peUleb128 = 0x01, peUdata2 = 0x02, peUdata4 = 0x03,
              peSleb128 = 0x09, peSdata2 = 0x0A, peSdata4 = 0x0B, pePcrel = 0x10, peIndirect = 0x80;

// Reads the section front to back.
struct Reader {
  std::string_view bytes;
  Addr base;
  std::size_t at = 0;

  std::uint32_t u8() {
    if (at >= bytes.size()) throw Fault(".eh_frame ends inside a record");
    return static_cast<std::uint8_t>(bytes[at++]);
  }
  std::uint32_t le(int width) {
    std::uint32_t v = 0;
    for (int i = 0; i < width; ++i) v |= u8() << (8 * i);
    return v;
  }
  std::uint32_t uleb() {
    std::uint32_t v = 0;
    for (int shift = 0;; shift += 7) {
      std::uint32_t b = u8();
      if (shift < 32) v |= (b & 0x7F) << shift;
      if (!(b & 0x80)) return v;
    }
  }
  std::int32_t sleb() {
    std::uint32_t v = 0;
    int shift = 0;
    std::uint32_t b = 0;
    do {
      b = u8();
      if (shift < 32) v |= (b & 0x7F) << shift;
      shift += 7;
    } while (b & 0x80);
    if (shift < 32 && (b & 0x40)) v |= ~0u << shift;
    return static_cast<std::int32_t>(v);
  }
  std::string cString() {
    std::size_t end = bytes.find('\0', at);
    if (end == std::string::npos) throw Fault(".eh_frame ends inside a string");
    std::string s(bytes.substr(at, end - at));
    at = end + 1;
    return s;
  }
  // A pointer in the given encoding; pc-relative ones from where it lies in guest memory.
  std::uint32_t pointer(int encoding) {
    Addr here = base + static_cast<Addr>(at);
    std::uint32_t v = 0;
    switch (encoding & 0x0F) {
    case peAbsptr:
    case peUdata4:
    case peSdata4:
      v = le(4);
      break;
    case peUdata2:
      v = le(2);
      break;
    case peSdata2:
      v = static_cast<std::uint32_t>(static_cast<std::int16_t>(le(2)));
      break;
    case peUleb128:
      v = uleb();
      break;
    case peSleb128:
      v = static_cast<std::uint32_t>(sleb());
      break;
    default:
      throw Fault(".eh_frame uses pointer encoding " + std::to_string(encoding));
    }
    if ((encoding & 0x70) == pePcrel) v += here;
    return v;
  }
};

// What an FDE needs of its CIE: how its addresses are encoded.
int fdeEncoding(Reader r) {
  std::uint32_t version = r.u8();
  std::string augmentation = r.cString();
  if (augmentation.find("eh") != std::string::npos) r.le(4);
  r.uleb();
  r.sleb();
  if (version == 1)
    r.u8();
  else
    r.uleb();
  int encoding = peAbsptr;
  if (augmentation.empty() || augmentation[0] != 'z') return encoding;
  r.uleb();
  for (char c : augmentation.substr(1)) {
    if (c == 'L') {
      r.u8();
    } else if (c == 'R') {
      encoding = static_cast<int>(r.u8());
    } else if (c == 'P') {
      int personality = static_cast<int>(r.u8());
      r.pointer(personality & ~peIndirect);
    } else if (c != 'S' && c != 'B') {
      break;
    }
  }
  return encoding;
}

} // namespace

std::vector<FunctionRange> functions(const pe::Image &image) {
  auto section = std::find_if(image.sections.begin(), image.sections.end(),
                              [](const pe::Section &s) { return s.name == ".eh_fram"; });
  std::vector<FunctionRange> found;
  if (section == image.sections.end()) return found;
  std::string bytes = read(image.base + section->address, section->size);
  Reader r{bytes, image.base + section->address};
  while (r.at + 4 <= r.bytes.size()) {
    std::size_t start = r.at;
    std::uint32_t length = r.le(4);
    if (length == 0) break; // the terminator
    if (length == 0xFFFFFFFF) throw Fault(".eh_frame holds a 64-bit record");
    std::size_t next = r.at + length;
    std::size_t idAt = r.at;
    std::uint32_t cieOffset = r.le(4);
    if (cieOffset != 0) {
      Reader cie = r;
      cie.at = idAt - cieOffset + 8; // past the CIE's length and id
      int encoding = fdeEncoding(cie);
      if (encoding != peOmit) {
        Addr begin = r.pointer(encoding);
        Addr size = r.pointer(encoding & 0x0F);
        if (size) found.push_back({begin, begin + size});
      }
    }
    if (next <= start || next > r.bytes.size()) break;
    r.at = next;
  }
  std::sort(found.begin(), found.end(),
            [](const FunctionRange &a, const FunctionRange &b) { return a.begin < b.begin; });
  return found;
}

} // namespace emu::ehframe

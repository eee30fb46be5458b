// kernel32's named file mappings in the simulated Win32, a part of win32sim.h: shared blocks
// that another process made, opened by name and seen through views.
inline constexpr DWORD FILE_MAP_READ = 0x0004;

HANDLE OpenFileMappingA(DWORD access, BOOL inheritHandle, LPCSTR name);
LPVOID MapViewOfFile(HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow, SIZE_T size);
BOOL UnmapViewOfFile(LPCVOID view);

namespace sim {
// A named mapping that another process holds with these bytes, replacing one of the same name.
// A view holds the bytes as they are when it is mapped, in a block of exactly its size.
void createFileMapping(const std::string &name, const std::string &bytes);
// The bytes a view holds.
SIZE_T viewSize(LPCVOID view);
int openMappings();
int mappedViews();
struct MappingOpen {
  DWORD access;
  BOOL inheritHandle;
  std::string name;
};
std::vector<MappingOpen> &mappingOpens();
} // namespace sim

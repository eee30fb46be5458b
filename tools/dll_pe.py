"""The product DLL as Debian's python3-pefile reads it, with the few views that the DLL's
checks need."""

import pefile


class Bad(Exception):
    """The file is not something these checks can read."""


class Section:
    def __init__(self, name, vsize, va, rawsize, rawptr):
        self.name, self.vsize, self.va, self.rawsize, self.rawptr = name, vsize, va, rawsize, rawptr


class PE:
    """The DLL as pefile reads it, with the few views the checks need."""

    def __init__(self, data):
        self.data = data
        try:
            self.pe = pefile.PE(data=data)
        except pefile.PEFormatError as e:
            raise Bad(e.value)
        self.machine = self.pe.FILE_HEADER.Machine
        self.characteristics = self.pe.FILE_HEADER.Characteristics
        self.magic = self.pe.OPTIONAL_HEADER.Magic
        if self.magic != 0x10B:
            raise Bad(f"optional header magic {self.magic:#x} is not PE32 (0x10b)")
        self.image_base = self.pe.OPTIONAL_HEADER.ImageBase
        self.sections = [Section(s.Name.rstrip(b"\0").decode("latin-1"), s.Misc_VirtualSize,
                                 s.VirtualAddress, s.SizeOfRawData, s.PointerToRawData)
                         for s in self.pe.sections]

    def section_of(self, rva):
        for s in self.sections:
            if s.va <= rva < s.va + max(s.vsize, s.rawsize):
                return s
        return None

    def read(self, rva, size):
        try:
            data = self.pe.get_data(rva, size)
        except pefile.PEFormatError as e:
            raise Bad(f"RVA {rva:#x}: {e.value}")
        if len(data) != size:
            raise Bad(f"RVA {rva:#x}+{size} runs past the end of the file")
        return data

    def exports(self):
        """[(name or None, ordinal, rva)]"""
        directory = getattr(self.pe, "DIRECTORY_ENTRY_EXPORT", None)
        if directory is None:
            return []
        return [(e.name.decode("latin-1") if e.name else None, e.ordinal, e.address)
                for e in directory.symbols]

    def imports(self):
        """DLL names of the import table and of the delay-load table."""
        plain = getattr(self.pe, "DIRECTORY_ENTRY_IMPORT", [])
        delayed = getattr(self.pe, "DIRECTORY_ENTRY_DELAY_IMPORT", [])
        return ([d.dll.decode("latin-1") for d in plain] +
                [d.dll.decode("latin-1") + " (delay-loaded)" for d in delayed])

    def functions_from(self, dll):
        """The names (or #ordinals) of the functions imported from one DLL."""
        names = []
        for d in getattr(self.pe, "DIRECTORY_ENTRY_IMPORT", []):
            if d.dll.decode("latin-1").lower() == dll:
                names += [i.name.decode("latin-1") if i.name else f"#{i.ordinal}"
                          for i in d.imports]
        return names

    def resources(self):
        """[(type, name, lang, data rva, size)], ids as ints, names as str."""
        root = getattr(self.pe, "DIRECTORY_ENTRY_RESOURCE", None)
        if root is None:
            return []

        def key(entry):
            return str(entry.name) if entry.name is not None else entry.id

        out = []
        for rtype in root.entries:
            for rname in rtype.directory.entries:
                for lang in rname.directory.entries:
                    data = lang.data.struct
                    out.append((key(rtype), key(rname), lang.id, data.OffsetToData, data.Size))
        return out

    def version_info(self):
        """The version resource: {"file": (a, b, c, d), "product": (a, b, c, d),
        "tables": {"041904e3": {name: value}}, "translations": [(language, code page)]},
        or None when there is none."""
        if not getattr(self.pe, "VS_FIXEDFILEINFO", None):
            return None
        fixed = self.pe.VS_FIXEDFILEINFO[0]

        def numbers(ms, ls):
            return (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)

        info = {"file": numbers(fixed.FileVersionMS, fixed.FileVersionLS),
                "product": numbers(fixed.ProductVersionMS, fixed.ProductVersionLS),
                "tables": {}, "translations": []}
        for entry in (e for group in self.pe.FileInfo for e in group):
            for table in getattr(entry, "StringTable", []):
                info["tables"][table.LangID.decode("latin-1").lower()] = {
                    k.decode("utf-8"): v.decode("utf-8") for k, v in table.entries.items()}
            for var in getattr(entry, "Var", []):
                words = [int(w, 16) for w in var.entry.get(b"Translation", "").split()]
                info["translations"] += list(zip(words[::2], words[1::2]))
        return info

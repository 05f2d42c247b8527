// A small PE32 reader: just the parts a loader needs (headers, sections,
// exports, imports, base relocations, TLS directory). Every read is bounds
// checked; anything that is not a PE32 i386 DLL is refused with LoadError.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace emu {

struct PeSection {
    std::string name;
    std::uint32_t rva = 0;
    std::uint32_t virtualSize = 0;
    std::uint32_t rawOffset = 0;
    std::uint32_t rawSize = 0;
    std::uint32_t characteristics = 0;
};

struct PeExport {
    std::string name;          // empty when exported by ordinal only
    std::uint32_t ordinal = 0;
    std::uint32_t rva = 0;
    bool forwarded = false;    // rva points at a "DLL.Name" string
};

struct PeImport {
    std::string dll;
    std::string name;          // empty when imported by ordinal
    std::uint32_t ordinal = 0;
    std::uint32_t iatRva = 0;  // slot the loader fills with the address
    std::string Label() const; // "KERNEL32.dll!CreateFileA" or "X.dll!#12"
};

struct PeTls {                 // virtual addresses as linked (before relocation)
    std::uint32_t rawStart = 0, rawEnd = 0, indexAddress = 0, callbacks = 0, zeroFill = 0;
};

class PeImage {
public:
    static PeImage Parse(std::vector<std::uint8_t> bytes);
    static PeImage FromFile(const std::string& path);

    std::uint16_t machine = 0;
    std::uint16_t characteristics = 0;
    std::uint32_t imageBase = 0;
    std::uint32_t sizeOfImage = 0;
    std::uint32_t sizeOfHeaders = 0;
    std::uint32_t entryRva = 0;
    std::uint32_t sectionAlignment = 0;
    std::vector<PeSection> sections;
    std::vector<PeExport> exports;
    std::string exportDllName;
    std::vector<PeImport> imports;
    std::vector<std::uint32_t> relocations;   // RVAs of 32-bit absolute fixups
    bool hasRelocationDirectory = false;
    std::optional<PeTls> tls;

    const std::vector<std::uint8_t>& Bytes() const { return bytes_; }
    // File offset of an RVA, or throws LoadError.
    std::uint32_t RvaToOffset(std::uint32_t rva) const;
    const PeSection* SectionOf(std::uint32_t rva) const;
    const PeExport* FindExport(const std::string& name) const;
    const PeExport* FindExport(std::uint32_t ordinal) const;
    // "SetBaseAdrs+0x1c" for the export at or below rva, else "RVA 0x..."
    std::string DescribeRva(std::uint32_t rva) const;

private:
    std::vector<std::uint8_t> bytes_;
    std::uint32_t U8(std::uint32_t off) const;
    std::uint32_t U16(std::uint32_t off) const;
    std::uint32_t U32(std::uint32_t off) const;
    std::string CString(std::uint32_t off) const;
    void ParseExports(std::uint32_t rva, std::uint32_t size);
    void ParseImports(std::uint32_t rva);
    void ParseRelocations(std::uint32_t rva, std::uint32_t size);
    void ParseTls(std::uint32_t rva);
};

// Well-known values of the PE format.
namespace pe {
constexpr std::uint16_t kMachineI386 = 0x14C;
constexpr std::uint16_t kOptionalMagicPe32 = 0x10B;
constexpr std::uint16_t kFileDll = 0x2000;
constexpr std::uint32_t kScnExecute = 0x20000000;
constexpr std::uint32_t kScnRead = 0x40000000;
constexpr std::uint32_t kScnWrite = 0x80000000;
constexpr std::uint32_t kScnUninitialized = 0x00000080;
}  // namespace pe

}  // namespace emu

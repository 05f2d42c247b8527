#include "pe_image.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>

#include "emu_error.h"

namespace emu {

namespace {

// Data directory slots we read.
constexpr int kDirExport = 0, kDirImport = 1, kDirReloc = 5, kDirTls = 9, kDirDelayImport = 13;
constexpr int kRelocAbsolute = 0, kRelocHighLow = 3;

[[noreturn]] void Malformed(const std::string& what) {
    throw LoadError("malformed PE file: " + what);
}

}  // namespace

std::string PeImport::Label() const {
    return dll + "!" + (name.empty() ? "#" + std::to_string(ordinal) : name);
}

std::uint32_t PeImage::U8(std::uint32_t off) const {
    if (off >= bytes_.size()) Malformed("read past end of file at " + Hex(off));
    return bytes_[off];
}
std::uint32_t PeImage::U16(std::uint32_t off) const { return U8(off) | U8(off + 1) << 8; }
std::uint32_t PeImage::U32(std::uint32_t off) const { return U16(off) | U16(off + 2) << 16; }

std::string PeImage::CString(std::uint32_t off) const {
    std::string s;
    for (std::uint32_t c; (c = U8(off)) != 0; ++off) {
        if (s.size() > 4096) Malformed("unterminated string at " + Hex(off));
        s.push_back(static_cast<char>(c));
    }
    return s;
}

const PeSection* PeImage::SectionOf(std::uint32_t rva) const {
    for (const auto& s : sections) {
        std::uint32_t span = std::max(s.virtualSize, s.rawSize);
        if (rva >= s.rva && rva - s.rva < span) return &s;
    }
    return nullptr;
}

std::uint32_t PeImage::RvaToOffset(std::uint32_t rva) const {
    if (rva < sizeOfHeaders) return rva;
    const PeSection* s = SectionOf(rva);
    if (!s || rva - s->rva >= s->rawSize) Malformed("RVA " + Hex(rva) + " has no file data");
    return s->rawOffset + (rva - s->rva);
}

PeImage PeImage::FromFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw LoadError("cannot open " + path);
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return Parse(std::move(bytes));
}

PeImage PeImage::Parse(std::vector<std::uint8_t> bytes) {
    PeImage img;
    img.bytes_ = std::move(bytes);
    if (img.bytes_.size() < 0x40 || img.U16(0) != 0x5A4D) throw LoadError("not a PE file: no MZ header");
    std::uint32_t nt = img.U32(0x3C);
    if (img.U32(nt) != 0x00004550) throw LoadError("not a PE file: no PE signature");
    std::uint32_t fileHeader = nt + 4;
    img.machine = static_cast<std::uint16_t>(img.U16(fileHeader));
    std::uint32_t sectionCount = img.U16(fileHeader + 2);
    std::uint32_t optionalSize = img.U16(fileHeader + 16);
    img.characteristics = static_cast<std::uint16_t>(img.U16(fileHeader + 18));
    std::uint32_t opt = fileHeader + 20;
    std::uint32_t magic = img.U16(opt);
    if (img.machine != pe::kMachineI386 || magic != pe::kOptionalMagicPe32 ||
        !(img.characteristics & pe::kFileDll))
        throw LoadError("not a PE32 i386 DLL (machine " + Hex(img.machine) + ", optional header magic " +
                        Hex(magic) + ", characteristics " + Hex(img.characteristics) + ")");
    img.entryRva = img.U32(opt + 16);
    img.imageBase = img.U32(opt + 28);
    img.sectionAlignment = img.U32(opt + 32);
    img.sizeOfImage = img.U32(opt + 56);
    img.sizeOfHeaders = img.U32(opt + 60);
    std::uint32_t dirCount = img.U32(opt + 92);
    auto dir = [&](int i) -> std::pair<std::uint32_t, std::uint32_t> {
        if (static_cast<std::uint32_t>(i) >= dirCount) return {0, 0};
        return {img.U32(opt + 96 + 8 * i), img.U32(opt + 100 + 8 * i)};
    };
    if (img.sizeOfImage == 0 || img.sizeOfImage > 0x10000000) Malformed("SizeOfImage " + Hex(img.sizeOfImage));

    std::uint32_t sec = opt + optionalSize;
    for (std::uint32_t i = 0; i < sectionCount; ++i, sec += 40) {
        PeSection s;
        for (int c = 0; c < 8 && img.U8(sec + c); ++c) s.name.push_back(static_cast<char>(img.U8(sec + c)));
        s.virtualSize = img.U32(sec + 8);
        s.rva = img.U32(sec + 12);
        s.rawSize = img.U32(sec + 16);
        s.rawOffset = img.U32(sec + 20);
        s.characteristics = img.U32(sec + 36);
        if (s.rawSize && s.rawOffset + static_cast<std::uint64_t>(s.rawSize) > img.bytes_.size())
            Malformed("section " + s.name + " runs past end of file");
        if (static_cast<std::uint64_t>(s.rva) + std::max(s.virtualSize, s.rawSize) > img.sizeOfImage)
            Malformed("section " + s.name + " runs past SizeOfImage");
        img.sections.push_back(s);
    }

    if (auto [rva, size] = dir(kDirExport); rva) img.ParseExports(rva, size);
    if (auto [rva, size] = dir(kDirImport); rva) img.ParseImports(rva);
    if (auto [rva, size] = dir(kDirReloc); rva) {
        img.hasRelocationDirectory = true;
        img.ParseRelocations(rva, size);
    }
    if (auto [rva, size] = dir(kDirTls); rva) img.ParseTls(rva);
    if (dir(kDirDelayImport).first) throw LoadError("delay-load imports are not supported");
    return img;
}

void PeImage::ParseExports(std::uint32_t rva, std::uint32_t size) {
    std::uint32_t d = RvaToOffset(rva);
    exportDllName = CString(RvaToOffset(U32(d + 12)));
    std::uint32_t base = U32(d + 16);
    std::uint32_t functionCount = U32(d + 20), nameCount = U32(d + 24);
    if (functionCount > 0x10000 || nameCount > functionCount) Malformed("export directory counts");
    std::uint32_t functions = U32(d + 28), names = U32(d + 32), nameOrdinals = U32(d + 36);
    std::vector<std::string> nameOf(functionCount);
    for (std::uint32_t i = 0; i < nameCount; ++i) {
        std::uint32_t index = U16(RvaToOffset(nameOrdinals + 2 * i));
        if (index >= functionCount) Malformed("export name points past the function table");
        nameOf[index] = CString(RvaToOffset(U32(RvaToOffset(names + 4 * i))));
    }
    for (std::uint32_t i = 0; i < functionCount; ++i) {
        std::uint32_t target = U32(RvaToOffset(functions + 4 * i));
        if (target == 0) continue;  // unused slot
        PeExport e;
        e.name = nameOf[i];
        e.ordinal = base + i;
        e.rva = target;
        e.forwarded = target >= rva && target < rva + size;
        exports.push_back(e);
    }
}

void PeImage::ParseImports(std::uint32_t rva) {
    for (std::uint32_t d = RvaToOffset(rva);; d += 20) {
        std::uint32_t lookup = U32(d), nameRva = U32(d + 12), iat = U32(d + 16);
        if (nameRva == 0 && iat == 0) break;
        std::string dll = CString(RvaToOffset(nameRva));
        std::uint32_t table = lookup ? lookup : iat;
        for (std::uint32_t i = 0;; ++i) {
            std::uint32_t entry = U32(RvaToOffset(table + 4 * i));
            if (entry == 0) break;
            PeImport imp;
            imp.dll = dll;
            imp.iatRva = iat + 4 * i;
            if (entry & 0x80000000u)
                imp.ordinal = entry & 0xFFFF;
            else
                imp.name = CString(RvaToOffset(entry) + 2);  // skip the hint
            imports.push_back(imp);
        }
    }
}

void PeImage::ParseRelocations(std::uint32_t rva, std::uint32_t size) {
    std::uint32_t pos = 0;
    while (pos + 8 <= size) {
        std::uint32_t block = RvaToOffset(rva + pos);
        std::uint32_t pageRva = U32(block), blockSize = U32(block + 4);
        if (blockSize < 8 || pos + blockSize > size) Malformed("base relocation block size " + Hex(blockSize));
        for (std::uint32_t e = 8; e + 2 <= blockSize; e += 2) {
            std::uint32_t entry = U16(block + e);
            int type = entry >> 12;
            if (type == kRelocAbsolute) continue;
            if (type != kRelocHighLow)
                throw LoadError("unsupported base relocation type " + std::to_string(type));
            relocations.push_back(pageRva + (entry & 0xFFF));
        }
        pos += blockSize;
    }
}

void PeImage::ParseTls(std::uint32_t rva) {
    std::uint32_t d = RvaToOffset(rva);
    PeTls t;
    t.rawStart = U32(d);
    t.rawEnd = U32(d + 4);
    t.indexAddress = U32(d + 8);
    t.callbacks = U32(d + 12);
    t.zeroFill = U32(d + 16);
    tls = t;
}

const PeExport* PeImage::FindExport(const std::string& name) const {
    for (const auto& e : exports)
        if (e.name == name) return &e;
    return nullptr;
}

const PeExport* PeImage::FindExport(std::uint32_t ordinal) const {
    for (const auto& e : exports)
        if (e.ordinal == ordinal) return &e;
    return nullptr;
}

std::string PeImage::DescribeRva(std::uint32_t rva) const {
    const PeExport* best = nullptr;
    for (const auto& e : exports)
        if (!e.forwarded && e.rva <= rva && (!best || e.rva > best->rva)) best = &e;
    std::ostringstream out;
    out << "RVA " << Hex(rva);
    if (best) {
        out << ", " << (best->name.empty() ? "#" + std::to_string(best->ordinal) : best->name);
        if (rva != best->rva) out << "+" << Hex(rva - best->rva);
    }
    return out.str();
}

}  // namespace emu

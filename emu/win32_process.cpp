#include "win32_process.h"

#include <algorithm>
#include <cstring>

#include "emu_error.h"
#include "guest_layout.h"

namespace emu {

namespace {

constexpr std::uint32_t kProcessAttach = 1, kProcessDetach = 0;

// Windows page protections and memory types (VirtualQuery).
constexpr std::uint32_t kPageNoAccess = 0x01, kPageReadOnly = 0x02, kPageReadWrite = 0x04, kPageWriteCopy = 0x08,
                        kPageExecute = 0x10, kPageExecuteRead = 0x20, kPageExecuteReadWrite = 0x40,
                        kPageExecuteWriteCopy = 0x80;
constexpr std::uint32_t kMemImage = 0x1000000, kMemPrivate = 0x20000;

// Unicorn protection for a Windows one; read is implied by any access.
int UnicornProtection(std::uint32_t page) {
    switch (page & 0xFF) {
        case kPageNoAccess: return 0;
        case kPageReadOnly: return 1;
        case kPageReadWrite:
        case kPageWriteCopy: return 3;
        case kPageExecute:
        case kPageExecuteRead: return 5;
        case kPageExecuteReadWrite:
        case kPageExecuteWriteCopy: return 7;
        default: return -1;
    }
}

std::uint32_t SectionProtection(std::uint32_t characteristics) {
    bool x = characteristics & pe::kScnExecute, w = characteristics & pe::kScnWrite;
    if (x) return w ? kPageExecuteReadWrite : kPageExecuteRead;
    return w ? kPageWriteCopy : kPageReadOnly;
}

std::uint32_t PageUp(std::uint32_t v) { return (v + layout::kPage - 1) & ~(layout::kPage - 1); }

std::uint32_t ChooseBase(const PeImage& image, std::uint32_t requested) {
    if (requested) return requested;
    for (std::uint32_t base : layout::kImageBases)
        if (base != image.imageBase) return base;
    return layout::kImageBases[0];
}

// Private regions VirtualQuery reports outside the image.
struct Region {
    std::uint32_t begin, end;
};
constexpr Region kPrivateRegions[] = {{layout::kStackLimit, layout::kStackBase},
                                      {layout::kHeap, layout::kHeap + layout::kHeapSize},
                                      {layout::kTeb, layout::kPeb + layout::kPage}};

}  // namespace

std::uint32_t StandInArgs::operator[](int index) const { return process_.cpu().Read32(AddressOf(index)); }

Process::Process(const std::string& dllPath, ProcessOptions options)
    : Process(PeImage::FromFile(dllPath), dllPath, options) {}

Process::Process(PeImage image, const std::string& dllPath, ProcessOptions options)
    : image_(std::move(image)),
      path_(dllPath),
      base_(ChooseBase(image_, options.imageBase)),
      cpu_(layout::kTeb),
      heap_(cpu_, layout::kHeap, layout::kHeapSize) {
    cpu_.onTrap = [this](int index) { OnTrap(index); };
    cpu_.describe = [this](std::uint32_t address) { return Describe(address); };
    SetUpThread();
    PrepareMsvcrtData(*this);
    MapImage();
    SetUpTls();
    cpu_.TrackBlocks(base_, base_ + PageUp(image_.sizeOfImage));
}

void Process::SetUpThread() {
    cpu_.Map(layout::kStackLimit, layout::kStackBase - layout::kStackLimit, 3);
    cpu_.SetEsp(layout::kStackBase - 64);  // a little zeroed room above the first frame
    cpu_.Map(layout::kTeb, 2 * layout::kPage, 3);
    const std::pair<std::uint32_t, std::uint32_t> teb[] = {
        {0x00, 0xFFFFFFFFu},  // end of the exception handler chain
        {layout::kTebStackBase, layout::kStackBase},
        {layout::kTebStackLimit, layout::kStackLimit},
        {layout::kTebSelf, layout::kTeb},
        {layout::kTebProcessId, layout::kProcessId},
        {layout::kTebThreadId, layout::kThreadId},
        {layout::kTebPeb, layout::kPeb},
    };
    for (auto [offset, value] : teb) cpu_.Write32(layout::kTeb + offset, value);
    cpu_.Write32(layout::kPeb + layout::kPebImageBase, layout::kExeBase);
    cpu_.Write32(layout::kPeb + layout::kPebProcessHeap, layout::kHeap);
    cpu_.Map(layout::kExeBase, layout::kPage, 1);  // the host program's module handle
    cpu_.Write(layout::kExeBase, "MZ", 2);
}

void Process::MapImage() {
    if (!image_.hasRelocationDirectory && base_ != image_.imageBase)
        throw LoadError("image has no base relocations, so it cannot be mapped away from " + Hex(image_.imageBase));
    std::uint32_t size = PageUp(image_.sizeOfImage);
    std::vector<std::uint8_t> memory(size, 0);
    const auto& file = image_.Bytes();
    std::copy_n(file.begin(), std::min<std::size_t>({image_.sizeOfHeaders, file.size(), size}), memory.begin());
    for (const auto& s : image_.sections) {
        std::uint32_t n = s.virtualSize ? std::min(s.rawSize, s.virtualSize) : s.rawSize;
        std::copy_n(file.begin() + s.rawOffset, n, memory.begin() + s.rva);
    }
    std::uint32_t delta = base_ - image_.imageBase;
    for (std::uint32_t rva : image_.relocations) {
        if (rva + 4 > size) throw LoadError("base relocation at " + Hex(rva) + " outside the image");
        std::uint32_t v;
        std::memcpy(&v, &memory[rva], 4);
        v += delta;
        std::memcpy(&memory[rva], &v, 4);
    }
    BindImports(memory);
    cpu_.Map(base_, size, 7);
    cpu_.Write(base_, memory.data(), memory.size());

    for (std::uint32_t p = 0; p < size; p += layout::kPage) pageProtection_[base_ + p] = kPageReadOnly;
    for (const auto& s : image_.sections) {
        std::uint32_t end = std::min(size, PageUp(s.rva + std::max(s.virtualSize, s.rawSize)));
        for (std::uint32_t p = s.rva & ~(layout::kPage - 1); p < end; p += layout::kPage)
            pageProtection_[base_ + p] = SectionProtection(s.characteristics);
    }
    for (auto [page, protection] : pageProtection_) cpu_.Protect(page, layout::kPage, UnicornProtection(protection));
}

void Process::BindImports(std::vector<std::uint8_t>& memory) {
    for (const auto& imp : image_.imports) {
        const StandIn* s = imp.name.empty() ? nullptr : FindStandIn(imp.dll, imp.name);
        if (!s) throw LoadError("no stand-in for " + imp.Label());
        std::uint32_t address = s->kind == CallKind::Data ? s->function(*this, StandInArgs(*this, 0)) : TrapFor(*s);
        if (imp.iatRva + 4 > memory.size()) throw LoadError("import slot outside the image: " + imp.Label());
        std::memcpy(&memory[imp.iatRva], &address, 4);
    }
}

std::uint32_t Process::TrapFor(const StandIn& s) {
    auto it = trapAddress_.find(&s);
    if (it != trapAddress_.end()) return it->second;
    std::uint32_t address = cpu_.AddTrap();
    traps_.push_back(&s);
    trapAddress_[&s] = address;
    return address;
}

void Process::SetUpTls() {
    if (!image_.tls) return;
    auto relocated = [&](std::uint32_t va) { return va - image_.imageBase + base_; };
    const PeTls& t = *image_.tls;
    std::uint32_t rawSize = t.rawEnd - t.rawStart;
    std::uint32_t block = heap_.Allocate(rawSize + t.zeroFill, true);
    std::vector<std::uint8_t> data(rawSize);
    cpu_.Read(relocated(t.rawStart), data.data(), rawSize);
    cpu_.Write(block, data.data(), rawSize);
    std::uint32_t pointers = heap_.Allocate(4, true);
    cpu_.Write32(pointers, block);
    cpu_.Write32(layout::kTeb + layout::kTebTlsPointer, pointers);
    if (t.indexAddress) {
        // The DLL's TLS index (always 0: it is the only module with TLS here),
        // written past page protection as the loader does.
        std::uint32_t indexAt = relocated(t.indexAddress);
        std::uint32_t page = indexAt & ~(layout::kPage - 1);
        if (!pageProtection_.count(page)) throw LoadError("TLS index address outside the image");
        cpu_.Protect(page, layout::kPage, 7);
        cpu_.Write32(indexAt, 0);
        cpu_.Protect(page, layout::kPage, UnicornProtection(pageProtection_[page]));
    }
}

void Process::Attach() {
    RunInitializers(kProcessAttach);
    attached_ = true;
}

void Process::Detach() {
    if (!attached_) return;
    attached_ = false;
    RunInitializers(kProcessDetach);
    // The process ends with the DLL: handlers registered with msvcrt run now, last first.
    while (!exitHandlers_.empty()) {
        std::uint32_t handler = exitHandlers_.back();
        exitHandlers_.pop_back();
        CallChecked(handler, {}, "exit handler " + Describe(handler), false);
    }
}

void Process::RunInitializers(std::uint32_t reason) {
    const char* phase = reason == kProcessAttach ? "process attach" : "process detach";
    if (image_.tls && image_.tls->callbacks) {
        std::uint32_t list = image_.tls->callbacks - image_.imageBase + base_;
        for (std::uint32_t callback; (callback = cpu_.Read32(list)) != 0; list += 4)
            CallChecked(callback, {base_, reason, 0}, std::string("TLS callback at ") + Describe(callback) +
                        " for " + phase, true);
    }
    if (!image_.entryRva) return;
    std::uint32_t ok = CallChecked(base_ + image_.entryRva, {base_, reason, 0},
                                   std::string("entry point for ") + phase, true);
    if (reason == kProcessAttach && !ok) {
        RunInitializers(kProcessDetach);  // as the loader does before failing the load
        throw GuestFault("the entry point refused process attach (returned FALSE)");
    }
}

std::uint32_t Process::CallChecked(std::uint32_t function, const std::vector<std::uint32_t>& args,
                                   const std::string& what, bool calleeCleans) {
    Cpu::CallResult r = cpu_.Call(function, args);
    std::int64_t expected = calleeCleans ? 4 * std::int64_t(args.size()) : 0;
    if (r.bytesRemoved != expected)
        throw GuestFault(what + " removed " + std::to_string(r.bytesRemoved) + " bytes of arguments from the stack, " +
                         "expected " + std::to_string(expected) + " (stack imbalance)");
    return r.eax;
}

std::uint32_t Process::CallExport(const std::string& name, const std::vector<std::uint32_t>& args) {
    const PeExport* e = image_.FindExport(name);
    if (!e || e->forwarded) throw GuestFault("the DLL has no export named " + name);
    return CallChecked(base_ + e->rva, args, name, true);
}

std::uint32_t Process::CallExport(std::uint32_t ordinal, const std::vector<std::uint32_t>& args) {
    const PeExport* e = image_.FindExport(ordinal);
    if (!e || e->forwarded) throw GuestFault("the DLL has no export with ordinal " + std::to_string(ordinal));
    std::string what = "export #" + std::to_string(ordinal) + (e->name.empty() ? "" : " (" + e->name + ")");
    return CallChecked(base_ + e->rva, args, what, true);
}

std::uint32_t Process::CallGuestCdecl(std::uint32_t function, const std::vector<std::uint32_t>& args) {
    return CallChecked(function, args, "callback " + Describe(function), false);
}

void Process::OnTrap(int index) {
    const StandIn& s = *traps_.at(index);
    std::uint32_t esp = cpu_.Esp();
    std::uint32_t returnAddress = cpu_.Read32(esp);
    std::uint32_t result;
    try {
        result = s.function(*this, StandInArgs(*this, esp));
    } catch (const GuestFault& f) {
        throw GuestFault(std::string(f.what()) + "\n  in " + s.dll + "!" + s.name + " called from " +
                         Describe(returnAddress));
    }
    cpu_.SetEax(result);
    cpu_.SetEsp(esp + 4 + (s.kind == CallKind::Stdcall ? 4 * std::uint32_t(s.argCount) : 0));
    cpu_.SetEip(returnAddress);
}

std::uint32_t Process::LastError() { return cpu_.Read32(layout::kTeb + layout::kTebLastError); }
void Process::SetLastError(std::uint32_t code) { cpu_.Write32(layout::kTeb + layout::kTebLastError, code); }

std::string Process::Describe(std::uint32_t address) const {
    if (address >= base_ && address - base_ < image_.sizeOfImage)
        return "DLL " + image_.DescribeRva(address - base_);
    if (address >= layout::kStandInCode && address < layout::kStandInCode + layout::kStandInCodeSize) {
        std::size_t index = (address - layout::kStandInCode) / Cpu::kTrapSize;
        if (index < traps_.size()) return std::string("stand-in ") + traps_[index]->dll + "!" + traps_[index]->name;
    }
    if (address >= layout::kReturnTraps && address < layout::kReturnTraps + layout::kPage) return "return to host";
    return "outside the DLL";
}

std::uint32_t Process::PageProtection(std::uint32_t address, std::uint32_t* regionBase, std::uint32_t* regionSize,
                                      std::uint32_t* allocationBase, std::uint32_t* type) {
    std::uint32_t page = address & ~(layout::kPage - 1);
    auto it = pageProtection_.find(page);
    if (it != pageProtection_.end()) {
        std::uint32_t protection = it->second, end = page;
        while (it != pageProtection_.end() && it->first == end && it->second == protection) {
            end += layout::kPage;
            ++it;
        }
        *regionBase = page;
        *regionSize = end - page;
        *allocationBase = base_;
        *type = kMemImage;
        return protection;
    }
    for (const Region& r : kPrivateRegions) {
        if (address >= r.begin && address < r.end) {
            *regionBase = page;
            *regionSize = r.end - page;
            *allocationBase = r.begin;
            *type = kMemPrivate;
            return kPageReadWrite;
        }
    }
    *regionBase = page;
    *regionSize = layout::kPage;
    *allocationBase = 0;
    *type = 0;
    return 0;  // free
}

bool Process::ChangeProtection(std::uint32_t address, std::uint32_t size, std::uint32_t protection,
                               std::uint32_t* old) {
    int uc = UnicornProtection(protection);
    std::uint32_t first = address & ~(layout::kPage - 1), end = PageUp(address + std::max<std::uint32_t>(size, 1));
    if (uc < 0) return false;
    for (std::uint32_t p = first; p < end; p += layout::kPage)
        if (!pageProtection_.count(p)) return false;  // only image pages change protection here
    *old = pageProtection_[first];
    for (std::uint32_t p = first; p < end; p += layout::kPage) pageProtection_[p] = protection;
    cpu_.Protect(first, end - first, uc);
    return true;
}

}  // namespace emu

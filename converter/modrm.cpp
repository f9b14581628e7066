#include "modrm.h"

#include <cassert>

namespace {

bool fitsSignedByte(uint32_t value) {
    int32_t v = static_cast<int32_t>(value);
    return v >= -128 && v <= 127;
}

uint8_t modForDisplacementSize(int size) {
    return size == 0 ? modNoDisplacement : size == 1 ? modDisplacement8 : modDisplacement32;
}

Encoding emptyEncoding() { return Encoding{}; }

// Base and index chosen from the registers as written.
struct AddressRegisters {
    int hasBase;
    uint8_t base;
    int hasIndex;
    uint8_t index;
    uint8_t scaleField;
};

// A scaled register is the index. Of two plain registers the first is the
// index and the second the base, unless ebp is one of them (then the first
// written is the base, as the assemblers read it: see baseAddressesStack), or
// the index would be esp, which can only be the base. 0 when the index
// would be esp. The address has a register.
int chooseRegisters(const Address& a, AddressRegisters* r) {
    *r = AddressRegisters{};
    if (a.scaled) {
        r->hasIndex = 1;
        r->index = a.scaledRegister;
        r->scaleField = a.scaleField;
        if (a.plainCount == 1) {
            r->hasBase = 1;
            r->base = a.plain[0];
        }
    } else if (a.plainCount == 2) {
        const bool firstIsBase = baseAddressesStack(a.plain[0]) || baseAddressesStack(a.plain[1]);
        r->hasBase = r->hasIndex = 1;
        r->index = a.plain[firstIsBase ? 1 : 0];
        r->base = a.plain[firstIsBase ? 0 : 1];
        if (!canBeIndex(r->index)) {  // esp can only be the base
            r->index = r->base;
            r->base = registerEsp;
        }
    } else {
        r->hasBase = 1;
        r->base = a.plain[0];
    }
    return (r->hasIndex && !canBeIndex(r->index)) ? 0 : 1;
}

}  // namespace

uint8_t packFields(uint8_t top2, uint8_t middle3, uint8_t low3) {
    assert(top2 < 4 && middle3 < 8 && low3 < 8);
    return static_cast<uint8_t>(top2 << 6 | middle3 << 3 | low3);
}

int displacementSizeFor(const Address& address, uint8_t base) {
    if (address.named) return 4;
    if (address.displacement == 0 && !baseNeedsDisplacement(base)) return 0;
    return fitsSignedByte(address.displacement) ? 1 : 4;
}

Encoding decideRegisterForm(uint8_t reg, uint8_t rm) {
    Encoding e = emptyEncoding();
    e.mod = modRegister;
    e.reg = reg;
    e.rm = rm;
    return e;
}

Encoding decideImmediateForm(uint8_t modrmBase, uint8_t rmRegister, uint8_t immediate) {
    Encoding e = emptyEncoding();
    e.mod = static_cast<uint8_t>(modrmBase >> 6);
    e.reg = static_cast<uint8_t>(modrmBase >> 3 & 7);
    e.rm = static_cast<uint8_t>((modrmBase & 7) | rmRegister);
    e.hasImmediate = 1;
    e.immediate = immediate;
    return e;
}

int decideMemoryForm(uint8_t reg, const Address& address, Encoding* encoding) {
    AddressRegisters r;
    const bool registerless = address.plainCount + address.scaled == 0;
    if (!registerless && !chooseRegisters(address, &r)) return 0;
    // Filled where it stands: a copy of freshly written fields would wait on them.
    Encoding& e = *encoding;
    e = emptyEncoding();
    e.reg = reg;
    e.displacement = address.displacement;
    if (registerless) {
        // [disp32]
        e.mod = modNoDisplacement;
        e.rm = rmNoBase;
        e.displacementSize = 4;
    } else if (!r.hasBase) {
        // [index*scale + disp32]
        e.mod = modNoDisplacement;
        e.rm = rmSibFollows;
        e.hasSib = 1;
        e.sibScale = r.scaleField;
        e.sibIndex = r.index;
        e.sibBase = sibNoBase;
        e.displacementSize = 4;
    } else {
        e.displacementSize = static_cast<uint8_t>(displacementSizeFor(address, r.base));
        e.mod = modForDisplacementSize(e.displacementSize);
        if (r.hasIndex) {
            // [base + index*scale + disp]
            e.rm = rmSibFollows;
            e.hasSib = 1;
            e.sibScale = r.scaleField;
            e.sibIndex = r.index;
            e.sibBase = r.base;
        } else if (baseNeedsSib(r.base)) {
            // [esp + disp]
            e.rm = rmSibFollows;
            e.hasSib = 1;
            e.sibIndex = sibNoIndex;
            e.sibBase = r.base;
        } else {
            // [base + disp]
            e.rm = r.base;
        }
    }
    return 1;
}

#include "AbcCode.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "AbcEncoding.h"

namespace {

// Opcodes, as the AVM2 instruction set numbers them.
constexpr uint8_t kJump = 0x10;
constexpr uint8_t kPop = 0x29;
constexpr uint8_t kPushString = 0x2C;
constexpr uint8_t kPushScope = 0x30;
constexpr uint8_t kReturnVoid = 0x47;
constexpr uint8_t kConstructSuper = 0x49;
constexpr uint8_t kConstructProp = 0x4A;
constexpr uint8_t kCallPropVoid = 0x4F;
constexpr uint8_t kNewArray = 0x56;
constexpr uint8_t kNewClass = 0x58;
constexpr uint8_t kFindPropStrict = 0x5D;
constexpr uint8_t kGetLex = 0x60;
constexpr uint8_t kSetProperty = 0x61;
constexpr uint8_t kGetLocal = 0x62;
constexpr uint8_t kSetLocal = 0x63;
constexpr uint8_t kGetScopeObject = 0x65;
constexpr uint8_t kGetProperty = 0x66;
constexpr uint8_t kInitProperty = 0x68;
// getlocal_0 to _3 and setlocal_0 to _3: one byte for the first four registers.
constexpr uint8_t kGetLocal0 = 0xD0;
constexpr uint8_t kSetLocal0 = 0xD4;

[[noreturn]] void Mistake(const char* what) {
    throw std::logic_error(std::string("ABC code: ") + what);
}

} // namespace

AbcCode& AbcCode::Op(uint8_t opcode, uint32_t pops, uint32_t pushes, int scopeChange) {
    if (!m_depths) {
        Mistake("an instruction no path reaches");
    }
    if (m_depths->stack < pops) {
        Mistake("more values taken than the stack holds");
    }
    if (scopeChange < 0 && m_depths->scopes < static_cast<uint32_t>(-scopeChange)) {
        Mistake("more scopes taken than the body pushed");
    }
    m_depths->stack = m_depths->stack - pops + pushes;
    m_depths->scopes = static_cast<uint32_t>(static_cast<int64_t>(m_depths->scopes) + scopeChange);
    m_maxStack = std::max(m_maxStack, m_depths->stack);
    m_maxScopes = std::max(m_maxScopes, m_depths->scopes);
    m_bytes.push_back(opcode);
    return *this;
}

AbcCode& AbcCode::WithU30(uint32_t value) {
    AbcEncoding::AppendU30(m_bytes, value);
    return *this;
}

void AbcCode::UseRegister(uint32_t reg) {
    if (reg >= AbcEncoding::kLargestU30) {
        Mistake("a register beyond what local_count can count");
    }
    m_localCount = std::max(m_localCount, reg + 1);
}

AbcCode& AbcCode::GetLocal(uint32_t reg) {
    UseRegister(reg);
    if (reg < 4) {
        return Op(static_cast<uint8_t>(kGetLocal0 + reg), 0, 1);
    }
    return Op(kGetLocal, 0, 1).WithU30(reg);
}

AbcCode& AbcCode::SetLocal(uint32_t reg) {
    UseRegister(reg);
    if (reg < 4) {
        return Op(static_cast<uint8_t>(kSetLocal0 + reg), 1, 0);
    }
    return Op(kSetLocal, 1, 0).WithU30(reg);
}

AbcCode& AbcCode::PushScope() {
    return Op(kPushScope, 1, 0, +1);
}

AbcCode& AbcCode::GetScopeObject(uint8_t index) {
    if (!m_depths || index >= m_depths->scopes) {
        Mistake("getscopeobject beyond the scopes the body pushed");
    }
    Op(kGetScopeObject, 0, 1);
    m_bytes.push_back(index);
    return *this;
}

AbcCode& AbcCode::PushString(uint32_t string) {
    return Op(kPushString, 0, 1).WithU30(string);
}

AbcCode& AbcCode::Pop() {
    return Op(kPop, 1, 0);
}

AbcCode& AbcCode::FindPropStrict(uint32_t multiname) {
    return Op(kFindPropStrict, 0, 1).WithU30(multiname);
}

AbcCode& AbcCode::GetLex(uint32_t multiname) {
    return Op(kGetLex, 0, 1).WithU30(multiname);
}

AbcCode& AbcCode::GetProperty(uint32_t multiname) {
    return Op(kGetProperty, 1, 1).WithU30(multiname);
}

AbcCode& AbcCode::SetProperty(uint32_t multiname) {
    return Op(kSetProperty, 2, 0).WithU30(multiname);
}

AbcCode& AbcCode::InitProperty(uint32_t multiname) {
    return Op(kInitProperty, 2, 0).WithU30(multiname);
}

AbcCode& AbcCode::ConstructProp(uint32_t multiname, uint32_t argCount) {
    // The object the property is found on, then the arguments; the new object replaces them.
    return Op(kConstructProp, argCount + 1, 1).WithU30(multiname).WithU30(argCount);
}

AbcCode& AbcCode::CallPropVoid(uint32_t multiname, uint32_t argCount) {
    return Op(kCallPropVoid, argCount + 1, 0).WithU30(multiname).WithU30(argCount);
}

AbcCode& AbcCode::ConstructSuper(uint32_t argCount) {
    return Op(kConstructSuper, argCount + 1, 0).WithU30(argCount);
}

AbcCode& AbcCode::NewArray(uint32_t count) {
    return Op(kNewArray, count, 1).WithU30(count);
}

AbcCode& AbcCode::NewClass(uint32_t classIndex) {
    // The base class in, the new class out.
    return Op(kNewClass, 1, 1).WithU30(classIndex);
}

AbcCode& AbcCode::ReturnVoid() {
    Op(kReturnVoid, 0, 0);
    m_depths.reset();
    return *this;
}

AbcCode::Label AbcCode::NewLabel() {
    m_labels.emplace_back();
    m_bound.push_back(false);
    return Label{m_labels.size() - 1};
}

void AbcCode::ReachedAt(const Depths& depths) {
    if (m_depths && !(*m_depths == depths)) {
        Mistake("paths meet with different stack or scope depths");
    }
    m_depths = depths;
}

AbcCode& AbcCode::Jump(Label label) {
    if (m_bound.at(label.id)) {
        Mistake("a backward jump (it would need a label instruction)");
    }
    Op(kJump, 0, 0);
    std::optional<Depths>& expected = m_labels[label.id];
    if (expected && !(*expected == *m_depths)) {
        Mistake("jumps to one label with different stack or scope depths");
    }
    expected = *m_depths;
    m_pending.push_back({label.id, m_bytes.size()});
    m_bytes.insert(m_bytes.end(), 3, 0);
    m_depths.reset();
    return *this;
}

AbcCode& AbcCode::Bind(Label label) {
    if (m_bound.at(label.id)) {
        Mistake("a label placed twice");
    }
    const std::optional<Depths>& expected = m_labels[label.id];
    if (!expected && !m_depths) {
        Mistake("a label no path reaches");
    }
    ReachedAt(expected ? *expected : *m_depths);
    m_bound[label.id] = true;
    for (const PendingJump& jump : m_pending) {
        if (jump.label == label.id) {
            // Relative to the end of the jump instruction.
            auto offset =
                static_cast<int64_t>(m_bytes.size()) - static_cast<int64_t>(jump.offsetAt + 3);
            AbcEncoding::PutS24(m_bytes, jump.offsetAt, static_cast<int32_t>(offset));
        }
    }
    std::erase_if(m_pending, [&](const PendingJump& jump) { return jump.label == label.id; });
    return *this;
}

AbcCode& AbcCode::Catch(uint32_t from, uint32_t to) {
    if (m_depths) {
        Mistake("code runs on into a handler");
    }
    if (from >= to || to > Offset()) {
        Mistake("a protected range that is empty or not yet written");
    }
    m_handlers.push_back({from, to, Offset()});
    // The player empties both stacks and pushes the error.
    m_depths = Depths{1, 0};
    m_maxStack = std::max(m_maxStack, 1U);
    return *this;
}

const std::vector<uint8_t>& AbcCode::Bytes() const {
    if (!m_pending.empty()) {
        Mistake("a jump to a label never placed");
    }
    return m_bytes;
}

#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// The byte code of one ActionScript 3 method body, written an instruction at a time. It counts
// what the body must declare about itself as it goes: the deepest operand stack, the deepest
// scope stack its own code builds, the registers (locals) it touches, and its exception
// handlers. Operands are constant pool indices (see AbcWriter). A mistake in the sequence (a
// pop from an empty stack, a jump whose target disagrees about the depths, a label never
// placed) throws std::logic_error: it is the writer's fault, never the input's.
class AbcCode {
public:
    // A place forward jumps go to before the code there is written.
    struct Label {
        size_t id;
    };
    // An exception_info: an error thrown by an instruction in [from, to) lands at `target`,
    // whatever its type, with the error alone on the operand stack and no scopes of the body's
    // own.
    struct Handler {
        uint32_t from;
        uint32_t to;
        uint32_t target;
    };

    AbcCode& GetLocal(uint32_t reg);
    AbcCode& SetLocal(uint32_t reg);
    AbcCode& PushScope();
    AbcCode& GetScopeObject(uint8_t index);
    AbcCode& PushString(uint32_t string);
    AbcCode& Pop();
    // Property access and calls by a multiname without run-time parts (a QName or Multiname).
    AbcCode& FindPropStrict(uint32_t multiname);
    AbcCode& GetLex(uint32_t multiname);
    AbcCode& GetProperty(uint32_t multiname);
    AbcCode& SetProperty(uint32_t multiname);
    AbcCode& InitProperty(uint32_t multiname);
    AbcCode& ConstructProp(uint32_t multiname, uint32_t argCount);
    AbcCode& CallPropVoid(uint32_t multiname, uint32_t argCount);
    AbcCode& ConstructSuper(uint32_t argCount);
    AbcCode& NewArray(uint32_t count);
    AbcCode& NewClass(uint32_t classIndex);
    AbcCode& ReturnVoid();

    Label NewLabel();
    // Jumps forward to `label`; what follows is reached only through a label or a handler.
    AbcCode& Jump(Label label);
    // Places `label` here; the jumps to it must agree with each other and with the code that
    // runs into it on the stack and scope depths.
    AbcCode& Bind(Label label);

    // Where the next instruction goes: the from and to of a protected range.
    uint32_t Offset() const { return static_cast<uint32_t>(m_bytes.size()); }
    // Starts, here, the handler of errors thrown in [from, to).
    AbcCode& Catch(uint32_t from, uint32_t to);

    // The code; every label must have been placed.
    const std::vector<uint8_t>& Bytes() const;
    const std::vector<Handler>& Handlers() const { return m_handlers; }
    uint32_t MaxStack() const { return m_maxStack; }
    // The most scopes the body itself has pushed at once.
    uint32_t MaxScopes() const { return m_maxScopes; }
    // Registers used: one past the highest touched (register 0, `this`, always counts).
    uint32_t LocalCount() const { return m_localCount; }

private:
    struct Depths {
        uint32_t stack = 0;
        uint32_t scopes = 0;
        bool operator==(const Depths&) const = default;
    };
    struct PendingJump {
        size_t label;
        size_t offsetAt; // where its s24 goes
    };

    // Writes `opcode` and moves the depths: `pops` then `pushes` values, scopes likewise.
    AbcCode& Op(uint8_t opcode, uint32_t pops, uint32_t pushes, int scopeChange = 0);
    AbcCode& WithU30(uint32_t value);
    void UseRegister(uint32_t reg);
    void ReachedAt(const Depths& depths);

    std::vector<uint8_t> m_bytes;
    std::vector<Handler> m_handlers;
    std::vector<PendingJump> m_pending;
    std::vector<std::optional<Depths>> m_labels; // the depths a label expects, once known
    std::vector<bool> m_bound;
    // Unset after a jump or a return, until a label or a handler starts.
    std::optional<Depths> m_depths = Depths{};
    uint32_t m_maxStack = 0;
    uint32_t m_maxScopes = 0;
    uint32_t m_localCount = 1;
};

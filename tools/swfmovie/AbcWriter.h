#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "AbcCode.h"

// Writes an ActionScript 3 byte code file (ABC 46.16, the body of a DoABC tag) as the AVM2
// overview lays it out: the constant pool, method signatures, classes, scripts and method
// bodies. It holds what simple generated code needs: strings, namespaces, namespace sets and
// names in the pool (no numbers), methods without parameters, sealed classes with slot traits,
// and scripts that define classes.
class AbcWriter {
public:
    enum class NamespaceKind : uint8_t {
        Private = 0x05,
        Namespace = 0x08,
        Package = 0x16, // a package's public names; "" is the top-level package
        PackageInternal = 0x17,
        Protected = 0x18,
        Explicit = 0x19,
        StaticProtected = 0x1A,
    };

    // A trait of an instance, a class or a script.
    struct Trait {
        uint32_t name = 0; // a QName
        uint8_t kind = 0;  // Slot or Class below
        uint32_t slotId = 0;
        uint32_t typeOrClass = 0; // a slot's type (0 for any), or a class's index

        static constexpr uint8_t kSlot = 0;
        static constexpr uint8_t kClass = 4;
    };
    static Trait SlotTrait(uint32_t name, uint32_t slotId, uint32_t type = 0) {
        return {name, Trait::kSlot, slotId, type};
    }
    static Trait ClassTrait(uint32_t name, uint32_t slotId, uint32_t classIndex) {
        return {name, Trait::kClass, slotId, classIndex};
    }

    // A sealed class: its instances get no properties beyond their traits.
    struct ClassDefinition {
        uint32_t name = 0;      // a QName
        uint32_t superName = 0; // a QName
        uint32_t constructor = 0;
        uint32_t staticInitializer = 0;
        std::vector<Trait> instanceTraits;
    };

    // Constant pool entries by index. The same entry asked for twice gets the same index; index
    // 0 is each pool's implicit entry ("any").
    uint32_t String(std::string_view text);
    uint32_t Namespace(NamespaceKind kind, std::string_view name);
    uint32_t PackageNamespace(std::string_view package) {
        return Namespace(NamespaceKind::Package, package);
    }
    uint32_t NamespaceSet(const std::vector<uint32_t>& namespaces);
    // A name in one namespace.
    uint32_t QName(uint32_t ns, std::string_view name);
    uint32_t QName(std::string_view package, std::string_view name) {
        return QName(PackageNamespace(package), name);
    }
    // A name looked up in each namespace of a set, as code on untyped values refers to names.
    uint32_t Multiname(std::string_view name, uint32_t namespaceSet);

    // A method taking no arguments and returning anything, with its body. Its closure brings
    // `initScopeDepth` scopes; its own code pushes up to code.MaxScopes() more.
    uint32_t Method(const AbcCode& code, uint32_t initScopeDepth);
    uint32_t Class(const ClassDefinition& definition);
    void Script(uint32_t initializer, const std::vector<Trait>& traits);

    std::vector<uint8_t> Bytes() const;

private:
    struct MethodBody {
        uint32_t maxStack;
        uint32_t localCount;
        uint32_t initScopeDepth;
        uint32_t maxScopeDepth;
        std::vector<uint8_t> code;
        std::vector<AbcCode::Handler> handlers;
    };
    struct ScriptDefinition {
        uint32_t initializer;
        std::vector<Trait> traits;
    };

    // Appends `entry` to `pool` unless there, and returns its index (from 1).
    static uint32_t Intern(std::vector<std::vector<uint8_t>>& pool,
                           std::map<std::vector<uint8_t>, uint32_t>& indices,
                           std::vector<uint8_t> entry);
    static void AppendPool(std::vector<uint8_t>& out,
                           const std::vector<std::vector<uint8_t>>& pool);
    static void AppendTraits(std::vector<uint8_t>& out, const std::vector<Trait>& traits);

    // Each pool's entries encoded, and the index of each encoding.
    std::vector<std::vector<uint8_t>> m_strings, m_namespaces, m_namespaceSets, m_multinames;
    std::map<std::vector<uint8_t>, uint32_t> m_stringIndex, m_namespaceIndex, m_namespaceSetIndex,
        m_multinameIndex;
    std::vector<MethodBody> m_methods; // method i has body i
    std::vector<ClassDefinition> m_classes;
    std::vector<ScriptDefinition> m_scripts;
};

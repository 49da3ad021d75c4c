#include "AbcWriter.h"

#include <stdexcept>

#include "AbcEncoding.h"

namespace {

using AbcEncoding::AppendU30;

constexpr uint16_t kMinorVersion = 16;
constexpr uint16_t kMajorVersion = 46;

constexpr uint8_t kQName = 0x07;
constexpr uint8_t kMultiname = 0x09;
constexpr uint8_t kClassSealed = 0x01;

void CheckIndex(uint32_t index, size_t count, const char* what) {
    if (index >= count) {
        throw std::logic_error(std::string("ABC writer: no such ") + what);
    }
}

} // namespace

uint32_t AbcWriter::Intern(std::vector<std::vector<uint8_t>>& pool,
                           std::map<std::vector<uint8_t>, uint32_t>& indices,
                           std::vector<uint8_t> entry) {
    if (auto found = indices.find(entry); found != indices.end()) {
        return found->second;
    }
    if (pool.size() + 1 >= AbcEncoding::kLargestU30) {
        throw std::length_error("ABC writer: a constant pool is full");
    }
    auto index = static_cast<uint32_t>(pool.size() + 1);
    indices.emplace(entry, index);
    pool.push_back(std::move(entry));
    return index;
}

uint32_t AbcWriter::String(std::string_view text) {
    std::vector<uint8_t> entry;
    AbcEncoding::AppendString(entry, text);
    return Intern(m_strings, m_stringIndex, std::move(entry));
}

uint32_t AbcWriter::Namespace(NamespaceKind kind, std::string_view name) {
    // The name is a real string, "" included: string 0 would mean "any namespace".
    std::vector<uint8_t> entry = {static_cast<uint8_t>(kind)};
    AppendU30(entry, String(name));
    return Intern(m_namespaces, m_namespaceIndex, std::move(entry));
}

uint32_t AbcWriter::NamespaceSet(const std::vector<uint32_t>& namespaces) {
    std::vector<uint8_t> entry;
    AppendU30(entry, static_cast<uint32_t>(namespaces.size()));
    for (uint32_t ns : namespaces) {
        CheckIndex(ns - 1, m_namespaces.size(), "namespace");
        AppendU30(entry, ns);
    }
    return Intern(m_namespaceSets, m_namespaceSetIndex, std::move(entry));
}

uint32_t AbcWriter::QName(uint32_t ns, std::string_view name) {
    CheckIndex(ns - 1, m_namespaces.size(), "namespace");
    std::vector<uint8_t> entry = {kQName};
    AppendU30(entry, ns);
    AppendU30(entry, String(name));
    return Intern(m_multinames, m_multinameIndex, std::move(entry));
}

uint32_t AbcWriter::Multiname(std::string_view name, uint32_t namespaceSet) {
    CheckIndex(namespaceSet - 1, m_namespaceSets.size(), "namespace set");
    std::vector<uint8_t> entry = {kMultiname};
    AppendU30(entry, String(name));
    AppendU30(entry, namespaceSet);
    return Intern(m_multinames, m_multinameIndex, std::move(entry));
}

uint32_t AbcWriter::Method(const AbcCode& code, uint32_t initScopeDepth) {
    m_methods.push_back({code.MaxStack(), code.LocalCount(), initScopeDepth,
                         initScopeDepth + code.MaxScopes(), code.Bytes(), code.Handlers()});
    return static_cast<uint32_t>(m_methods.size() - 1);
}

uint32_t AbcWriter::Class(const ClassDefinition& definition) {
    CheckIndex(definition.constructor, m_methods.size(), "constructor");
    CheckIndex(definition.staticInitializer, m_methods.size(), "static initializer");
    m_classes.push_back(definition);
    return static_cast<uint32_t>(m_classes.size() - 1);
}

void AbcWriter::Script(uint32_t initializer, const std::vector<Trait>& traits) {
    CheckIndex(initializer, m_methods.size(), "script initializer");
    m_scripts.push_back({initializer, traits});
}

void AbcWriter::AppendPool(std::vector<uint8_t>& out,
                           const std::vector<std::vector<uint8_t>>& pool) {
    // The count includes the implicit entry 0, so an empty pool is written as 0.
    AppendU30(out, pool.empty() ? 0 : static_cast<uint32_t>(pool.size() + 1));
    for (const std::vector<uint8_t>& entry : pool) {
        out.insert(out.end(), entry.begin(), entry.end());
    }
}

void AbcWriter::AppendTraits(std::vector<uint8_t>& out, const std::vector<Trait>& traits) {
    AppendU30(out, static_cast<uint32_t>(traits.size()));
    for (const Trait& trait : traits) {
        AppendU30(out, trait.name);
        out.push_back(trait.kind); // no attributes, so no metadata
        AppendU30(out, trait.slotId);
        AppendU30(out, trait.typeOrClass);
        if (trait.kind == Trait::kSlot) {
            AppendU30(out, 0); // no default value
        }
    }
}

std::vector<uint8_t> AbcWriter::Bytes() const {
    std::vector<uint8_t> out;
    AbcEncoding::AppendU16(out, kMinorVersion);
    AbcEncoding::AppendU16(out, kMajorVersion);

    AppendU30(out, 0); // integers
    AppendU30(out, 0); // unsigned integers
    AppendU30(out, 0); // doubles
    AppendPool(out, m_strings);
    AppendPool(out, m_namespaces);
    AppendPool(out, m_namespaceSets);
    AppendPool(out, m_multinames);

    AppendU30(out, static_cast<uint32_t>(m_methods.size()));
    for (size_t i = 0; i < m_methods.size(); ++i) {
        AppendU30(out, 0); // parameters
        AppendU30(out, 0); // return type: any
        AppendU30(out, 0); // no name
        out.push_back(0);  // flags: no arguments object, activation, rest or options
    }
    AppendU30(out, 0); // metadata

    AppendU30(out, static_cast<uint32_t>(m_classes.size()));
    for (const ClassDefinition& definition : m_classes) {
        AppendU30(out, definition.name);
        AppendU30(out, definition.superName);
        out.push_back(kClassSealed);
        AppendU30(out, 0); // interfaces
        AppendU30(out, definition.constructor);
        AppendTraits(out, definition.instanceTraits);
    }
    for (const ClassDefinition& definition : m_classes) {
        AppendU30(out, definition.staticInitializer);
        AppendTraits(out, {});
    }

    AppendU30(out, static_cast<uint32_t>(m_scripts.size()));
    for (const ScriptDefinition& script : m_scripts) {
        AppendU30(out, script.initializer);
        AppendTraits(out, script.traits);
    }

    AppendU30(out, static_cast<uint32_t>(m_methods.size()));
    for (size_t i = 0; i < m_methods.size(); ++i) {
        const MethodBody& body = m_methods[i];
        AppendU30(out, static_cast<uint32_t>(i));
        AppendU30(out, body.maxStack);
        AppendU30(out, body.localCount);
        AppendU30(out, body.initScopeDepth);
        AppendU30(out, body.maxScopeDepth);
        AppendU30(out, static_cast<uint32_t>(body.code.size()));
        out.insert(out.end(), body.code.begin(), body.code.end());
        AppendU30(out, static_cast<uint32_t>(body.handlers.size()));
        for (const AbcCode::Handler& handler : body.handlers) {
            AppendU30(out, handler.from);
            AppendU30(out, handler.to);
            AppendU30(out, handler.target);
            AppendU30(out, 0); // any error type
            AppendU30(out, 0); // no variable for the error
        }
        AppendU30(out, 0); // traits: no activation object
    }
    return out;
}

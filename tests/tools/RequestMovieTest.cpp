// swfmovie's ActionScript 3 movies that make HTTP requests, read back with a reader of the ABC
// format written here from the AVM2 overview, apart from the writer.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "TagWalk.h"
#include "TempDir.h"
#include "ToolRun.h"
#include "swf/SWFBaseParse.h"

namespace fs = std::filesystem;

namespace {

using Json = nlohmann::ordered_json;

// Reads the ABC format's numbers; running past the end throws.
class ByteReader {
public:
    ByteReader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    uint8_t U8() {
        if (m_pos >= m_size) {
            throw std::runtime_error("read past the end at " + std::to_string(m_pos));
        }
        return m_data[m_pos++];
    }
    uint16_t U16() { return static_cast<uint16_t>(U8() | U8() << 8); }
    uint32_t U32() { return U16() | static_cast<uint32_t>(U16()) << 16; }
    // Variable length, at most five bytes of seven bits each; a u30 keeps its top two bits clear.
    uint32_t U30() {
        uint32_t value = 0;
        for (int i = 0; i < 5; ++i) {
            uint8_t byte = U8();
            value |= static_cast<uint32_t>(byte & 0x7FU) << (7 * i);
            if ((byte & 0x80U) == 0) {
                if (value >> 30 != 0) {
                    throw std::runtime_error("a u30 above 30 bits");
                }
                return value;
            }
        }
        throw std::runtime_error("a variable-length number longer than five bytes");
    }
    int32_t S24() {
        uint32_t bits = U8() | U8() << 8 | static_cast<uint32_t>(U8()) << 16;
        return static_cast<int32_t>(bits << 8) >> 8;
    }
    std::string Text(size_t length) {
        std::string text;
        for (size_t i = 0; i < length; ++i) {
            text.push_back(static_cast<char>(U8()));
        }
        return text;
    }
    std::string CString() {
        std::string text;
        for (char c = static_cast<char>(U8()); c != 0; c = static_cast<char>(U8())) {
            text.push_back(c);
        }
        return text;
    }
    size_t Position() const { return m_pos; }
    bool AtEnd() const { return m_pos == m_size; }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

struct Trait {
    uint32_t name;
    uint8_t kind; // low four bits
    uint32_t slotId;
    uint32_t index; // a slot's type, a class's index, a method's index
};

struct MethodBody {
    uint32_t method, maxStack, localCount, initScopeDepth, maxScopeDepth;
    std::vector<uint8_t> code;
    struct Handler {
        uint32_t from, to, target, type, variable;
    };
    std::vector<Handler> handlers;
};

// The whole file, every part of the grammar read (numbers, options, metadata and all), so a
// wrong count or a stray byte anywhere shows up as a failed read or bytes left over.
struct Abc {
    uint16_t minor = 0, major = 0;
    std::vector<std::string> strings{""}; // entry 0 stands for "any name"
    struct Namespace {
        uint8_t kind;
        uint32_t name;
    };
    std::vector<Namespace> namespaces{{0, 0}};
    std::vector<std::vector<uint32_t>> namespaceSets{{}};
    struct Multiname {
        uint8_t kind;
        uint32_t ns, name, nsSet;
    };
    std::vector<Multiname> multinames{{0, 0, 0, 0}};
    size_t methods = 0;
    struct Instance {
        uint32_t name, superName;
        uint8_t flags;
        uint32_t constructor;
        std::vector<Trait> traits;
    };
    std::vector<Instance> instances;
    std::vector<uint32_t> staticInitializers;
    struct Script {
        uint32_t initializer;
        std::vector<Trait> traits;
    };
    std::vector<Script> scripts;
    std::vector<MethodBody> bodies;

    // "flash.net::URLLoader" for a QName in a package, the bare name in the top-level package.
    std::string Name(uint32_t multiname) const {
        const Multiname& entry = multinames.at(multiname);
        if (entry.kind != 0x07) {
            return "(multiname " + strings.at(entry.name) + ")";
        }
        const std::string& package = strings.at(namespaces.at(entry.ns).name);
        return (package.empty() ? "" : package + "::") + strings.at(entry.name);
    }
    const MethodBody& BodyOf(uint32_t method) const {
        for (const MethodBody& body : bodies) {
            if (body.method == method) {
                return body;
            }
        }
        throw std::runtime_error("method " + std::to_string(method) + " has no body");
    }
};

std::vector<Trait> ReadTraits(ByteReader& in) {
    std::vector<Trait> traits(in.U30());
    for (Trait& trait : traits) {
        trait.name = in.U30();
        uint8_t kind = in.U8();
        trait.kind = kind & 0x0FU;
        trait.slotId = in.U30();
        trait.index = in.U30();
        if (trait.kind == 0 || trait.kind == 6) { // slot, const: then the default value
            if (in.U30() != 0) {
                in.U8();
            }
        }
        if ((kind >> 4 & 0x04U) != 0) { // metadata
            for (uint32_t n = in.U30(); n > 0; --n) {
                in.U30();
            }
        }
    }
    return traits;
}

Abc ReadAbc(ByteReader& in) {
    Abc abc;
    abc.minor = in.U16();
    abc.major = in.U16();
    auto entries = [&in] {
        uint32_t count = in.U30();
        return count == 0 ? 0 : count - 1;
    };
    for (uint32_t n = entries(); n > 0; --n) { // ints: s32, read the same way as a u32
        in.U30();
    }
    for (uint32_t n = entries(); n > 0; --n) {
        in.U30();
    }
    for (uint32_t n = entries(); n > 0; --n) { // doubles
        in.Text(8);
    }
    for (uint32_t n = entries(); n > 0; --n) {
        abc.strings.push_back(in.Text(in.U30()));
    }
    for (uint32_t n = entries(); n > 0; --n) {
        uint8_t kind = in.U8();
        abc.namespaces.push_back({kind, in.U30()});
    }
    for (uint32_t n = entries(); n > 0; --n) {
        std::vector<uint32_t> set(in.U30());
        for (uint32_t& ns : set) {
            ns = in.U30();
        }
        abc.namespaceSets.push_back(set);
    }
    for (uint32_t n = entries(); n > 0; --n) {
        Abc::Multiname name{in.U8(), 0, 0, 0};
        switch (name.kind) {
        case 0x07: // QName, QNameA
        case 0x0D:
            name.ns = in.U30();
            name.name = in.U30();
            break;
        case 0x0F: // RTQName, RTQNameA
        case 0x10:
            name.name = in.U30();
            break;
        case 0x11: // RTQNameL, RTQNameLA
        case 0x12:
            break;
        case 0x09: // Multiname, MultinameA
        case 0x0E:
            name.name = in.U30();
            name.nsSet = in.U30();
            break;
        case 0x1B: // MultinameL, MultinameLA
        case 0x1C:
            name.nsSet = in.U30();
            break;
        case 0x1D: // TypeName
            name.name = in.U30();
            for (uint32_t params = in.U30(); params > 0; --params) {
                in.U30();
            }
            break;
        default:
            throw std::runtime_error("multiname kind " + std::to_string(name.kind));
        }
        abc.multinames.push_back(name);
    }
    abc.methods = in.U30();
    for (size_t i = 0; i < abc.methods; ++i) {
        uint32_t params = in.U30();
        in.U30(); // return type
        for (uint32_t p = 0; p < params; ++p) {
            in.U30();
        }
        in.U30(); // name
        uint8_t flags = in.U8();
        if ((flags & 0x08U) != 0) { // optional parameters
            for (uint32_t n = in.U30(); n > 0; --n) {
                in.U30();
                in.U8();
            }
        }
        if ((flags & 0x80U) != 0) { // parameter names
            for (uint32_t p = 0; p < params; ++p) {
                in.U30();
            }
        }
    }
    for (uint32_t n = in.U30(); n > 0; --n) { // metadata
        in.U30();
        for (uint32_t items = in.U30(); items > 0; --items) {
            in.U30();
            in.U30();
        }
    }
    abc.instances.resize(in.U30());
    for (Abc::Instance& instance : abc.instances) {
        instance.name = in.U30();
        instance.superName = in.U30();
        instance.flags = in.U8();
        if ((instance.flags & 0x08U) != 0) {
            in.U30(); // protected namespace
        }
        for (uint32_t n = in.U30(); n > 0; --n) {
            in.U30(); // interface
        }
        instance.constructor = in.U30();
        instance.traits = ReadTraits(in);
    }
    for (size_t i = 0; i < abc.instances.size(); ++i) {
        abc.staticInitializers.push_back(in.U30());
        ReadTraits(in);
    }
    abc.scripts.resize(in.U30());
    for (Abc::Script& script : abc.scripts) {
        script.initializer = in.U30();
        script.traits = ReadTraits(in);
    }
    abc.bodies.resize(in.U30());
    for (MethodBody& body : abc.bodies) {
        body.method = in.U30();
        body.maxStack = in.U30();
        body.localCount = in.U30();
        body.initScopeDepth = in.U30();
        body.maxScopeDepth = in.U30();
        uint32_t length = in.U30();
        for (uint32_t i = 0; i < length; ++i) {
            body.code.push_back(in.U8());
        }
        body.handlers.resize(in.U30());
        for (MethodBody::Handler& handler : body.handlers) {
            handler = {in.U30(), in.U30(), in.U30(), in.U30(), in.U30()};
        }
        ReadTraits(in);
    }
    return abc;
}

// One instruction of the few these movies use.
struct Instruction {
    uint8_t op;
    std::vector<int64_t> operands;
    uint32_t next;
};

std::map<uint32_t, Instruction> Decode(const std::vector<uint8_t>& code) {
    std::map<uint32_t, Instruction> decoded;
    ByteReader in(code.data(), code.size());
    while (!in.AtEnd()) {
        auto at = static_cast<uint32_t>(in.Position());
        Instruction instruction{in.U8(), {}, 0};
        switch (instruction.op) {
        case 0xD0:
        case 0xD1:
        case 0xD2:
        case 0xD3: // getlocal_n
        case 0xD4:
        case 0xD5:
        case 0xD6:
        case 0xD7: // setlocal_n
        case 0x30:
        case 0x1D:
        case 0x29:
        case 0x47: // pushscope popscope pop returnvoid
            break;
        case 0x62:
        case 0x63:
        case 0x2C:
        case 0x5D:
        case 0x60:
        case 0x66:
        case 0x61:
        case 0x68:
        case 0x49:
        case 0x56:
        case 0x58:
            instruction.operands = {in.U30()};
            break;
        case 0x4A:
        case 0x4F: // constructprop, callpropvoid: name, argument count
            instruction.operands = {in.U30(), in.U30()};
            break;
        case 0x65: // getscopeobject
            instruction.operands = {in.U8()};
            break;
        case 0x10: // jump
            instruction.operands = {in.S24()};
            break;
        default:
            throw std::runtime_error("unexpected opcode " + std::to_string(instruction.op) +
                                     " at " + std::to_string(at));
        }
        instruction.next = static_cast<uint32_t>(in.Position());
        decoded.emplace(at, instruction);
    }
    return decoded;
}

// What a body needs, found by following every path through it: from the start with empty
// stacks, from each handler with the error on the stack. Paths must meet with equal depths, land
// on instructions and never run off the end.
struct Needs {
    uint32_t maxStack = 0;
    uint32_t maxScopes = 0;
    uint32_t registers = 1;
};

Needs Follow(const MethodBody& body) {
    std::map<uint32_t, Instruction> code = Decode(body.code);
    struct Depths {
        uint32_t stack, scopes;
    };
    std::map<uint32_t, Depths> seen;
    std::vector<std::pair<uint32_t, Depths>> work = {{0, {0, 0}}};
    for (const MethodBody::Handler& handler : body.handlers) {
        if (handler.from >= handler.to || code.count(handler.from) == 0 ||
            (handler.to != body.code.size() && code.count(handler.to) == 0)) {
            throw std::runtime_error("a protected range off the instructions");
        }
        work.push_back({handler.target, {1, 0}});
    }
    Needs needs;
    while (!work.empty()) {
        auto [at, depths] = work.back();
        work.pop_back();
        auto found = code.find(at);
        if (found == code.end()) {
            throw std::runtime_error("a path lands off the instructions at " + std::to_string(at));
        }
        if (auto known = seen.find(at); known != seen.end()) {
            if (known->second.stack != depths.stack || known->second.scopes != depths.scopes) {
                throw std::runtime_error("paths meet with different depths at " +
                                         std::to_string(at));
            }
            continue;
        }
        seen[at] = depths;
        const Instruction& instruction = found->second;
        uint8_t op = instruction.op;
        uint32_t pops = 0;
        uint32_t pushes = 0;
        int scopes = 0;
        if (op >= 0xD0 && op <= 0xD3) {
            pushes = 1;
            needs.registers = std::max<uint32_t>(needs.registers, op - 0xD0 + 1);
        } else if (op >= 0xD4 && op <= 0xD7) {
            pops = 1;
            needs.registers = std::max<uint32_t>(needs.registers, op - 0xD4 + 1);
        } else if (op == 0x62 || op == 0x63) {
            (op == 0x62 ? pushes : pops) = 1;
            needs.registers =
                std::max(needs.registers, static_cast<uint32_t>(instruction.operands[0]) + 1);
        } else if (op == 0x30) {
            pops = 1;
            scopes = 1;
        } else if (op == 0x1D) {
            scopes = -1;
        } else if (op == 0x65 || op == 0x2C || op == 0x5D || op == 0x60) {
            pushes = 1;
        } else if (op == 0x66 || op == 0x58) {
            pops = pushes = 1;
        } else if (op == 0x61 || op == 0x68) {
            pops = 2;
        } else if (op == 0x4A || op == 0x4F) {
            pops = static_cast<uint32_t>(instruction.operands[1]) + 1;
            pushes = op == 0x4A ? 1 : 0;
        } else if (op == 0x49) {
            pops = static_cast<uint32_t>(instruction.operands[0]) + 1;
        } else if (op == 0x56) {
            pops = static_cast<uint32_t>(instruction.operands[0]);
            pushes = 1;
        } else if (op == 0x29) {
            pops = 1;
        }
        if (depths.stack < pops || static_cast<int>(depths.scopes) + scopes < 0) {
            throw std::runtime_error("a stack runs empty at " + std::to_string(at));
        }
        Depths after{depths.stack - pops + pushes,
                     static_cast<uint32_t>(static_cast<int>(depths.scopes) + scopes)};
        needs.maxStack = std::max({needs.maxStack, depths.stack, after.stack});
        needs.maxScopes = std::max(needs.maxScopes, after.scopes);
        if (op == 0x47) {
            continue;
        }
        if (op == 0x10) {
            work.emplace_back(static_cast<uint32_t>(instruction.next + instruction.operands[0]),
                              after);
            continue;
        }
        if (instruction.next == body.code.size()) {
            throw std::runtime_error("the code runs off its end");
        }
        work.emplace_back(instruction.next, after);
    }
    if (seen.size() != code.size()) {
        throw std::runtime_error("instructions no path reaches");
    }
    return needs;
}

// What the constructor does, in code order: strings pushed, objects made, properties set and
// methods called, by name.
std::vector<std::string> Steps(const Abc& abc, const MethodBody& body,
                               std::vector<std::pair<uint32_t, uint32_t>>* loads = nullptr) {
    std::vector<std::string> steps;
    for (const auto& [at, instruction] : Decode(body.code)) {
        auto operand =
            static_cast<uint32_t>(instruction.operands.empty() ? 0 : instruction.operands[0]);
        switch (instruction.op) {
        case 0x2C:
            steps.emplace_back("string " + abc.strings.at(operand));
            break;
        case 0x4A:
            steps.emplace_back("new " + abc.Name(operand));
            break;
        case 0x61:
            steps.emplace_back("set " + abc.Name(operand));
            break;
        case 0x68:
            steps.emplace_back("init " + abc.Name(operand));
            break;
        case 0x4F:
            steps.emplace_back("call " + abc.Name(operand));
            if (loads != nullptr && abc.Name(operand) == "load") {
                loads->emplace_back(at, instruction.next);
            }
            break;
        default:
            break;
        }
    }
    return steps;
}

// The same steps as the description asks for them.
std::vector<std::string> ExpectedSteps(const Json& requests) {
    std::vector<std::string> steps = {"init loaders"};
    for (const Json& request : requests) {
        steps.emplace_back("string " + request["url"].get<std::string>());
        steps.emplace_back("new flash.net::URLRequest");
        steps.emplace_back("string " + request["method"].get<std::string>());
        steps.emplace_back("set method");
        if (auto headers = request.find("headers"); headers != request.end()) {
            for (const auto& header : headers->items()) {
                steps.emplace_back("string " + header.key());
                steps.emplace_back("string " + header.value().get<std::string>());
                steps.emplace_back("new flash.net::URLRequestHeader");
            }
        }
        steps.emplace_back("set requestHeaders");
        if (request.contains("body")) {
            steps.emplace_back("string " + request["body"].get<std::string>());
            steps.emplace_back("set data");
        }
        steps.emplace_back("new flash.net::URLLoader");
        steps.emplace_back("call (multiname push)");
        steps.emplace_back("call load");
    }
    return steps;
}

class RequestMovieTest : public ::testing::Test {
protected:
    // Writes the description and runs swfmovie on it; the movie goes to out/movie.swf.
    ToolRun Make(const std::string& description) {
        std::ofstream(descriptionPath, std::ios::binary) << description;
        return ToolRun(HVX_SWFMOVIE, {descriptionPath, "-o", moviePath}, home.Path().string());
    }

    TempDir home;
    TempDir work;
    std::string descriptionPath = work / "movie.json";
    std::string outDir = [this] {
        fs::create_directory(work / "out");
        return work / "out";
    }();
    std::string moviePath = outDir + "/movie.swf";
};

TEST_F(RequestMovieTest, WrongRequestsAreRefusedNamingTheField) {
    const std::string longUrl = "http://127.0.0.1/" + std::string(2048 - 17 + 1, 'a');
    Json tooMany = Json::array();
    for (int i = 0; i < 65; ++i) {
        tooMany.push_back({{"method", "GET"}, {"url", "/"}});
    }
    Json manyHeaders = Json::object();
    for (int i = 0; i < 17; ++i) {
        manyHeaders["X-" + std::to_string(i)] = "v";
    }
    struct Case {
        std::string requests; // the value of "requests"
        std::string reason;
        int version = 10;
    };
    const Case cases[] = {
        {"{}", "requests must be a list, not {}"},
        {tooMany.dump(), "requests holds 65 requests, more than 64"},
        {"[7]", "requests[0] must be an object, not 7"},
        {R"([{"method": "GET", "url": "/", "header": {}}])",
         R"(unknown key "header" in requests[0])"},
        {R"([{"method": "GET", "url": "/", "method": "POST"}])", R"(repeated key "method")"},
        {R"([{"method": "GET", "url": "/"}, {"url": "/"}])", "requests[1].method is missing"},
        {R"([{"method": "get", "url": "/"}])",
         R"(requests[0].method must be "GET" or "POST", not "get")"},
        {R"([{"method": "PUT", "url": "/"}])",
         R"(requests[0].method must be "GET" or "POST", not "PUT")"},
        {R"([{"method": "GET"}])", "requests[0].url is missing"},
        {R"([{"method": "GET", "url": ""}])",
         "requests[0].url must be a string of 1 to 2048 bytes without control characters but tab, "
         "not \"\""},
        {Json::array({{{"method", "GET"}, {"url", longUrl}}}).dump(),
         "requests[0].url must be a string of 1 to 2048 bytes"},
        {R"([{"method": "GET", "url": "/a\r\nX-Injected: 1"}])",
         "requests[0].url must be a string of 1 to 2048 bytes without control characters but tab"},
        {R"([{"method": "GET", "url": "/", "headers": [["X-A", "1"]]}])",
         R"(requests[0].headers must be an object of header names and values, not [["X-A","1"]])"},
        {Json::array({{{"method", "GET"}, {"url", "/"}, {"headers", manyHeaders}}}).dump(),
         "requests[0].headers holds 17 headers, more than 16"},
        {R"([{"method": "GET", "url": "/", "headers": {"Bad Name": "1"}}])",
         R"(requests[0].headers has "Bad Name", not a header name (1 to 128 letters, digits and )"
         R"(!#$%&'*+-.^_`|~))"},
        {R"([{"method": "GET", "url": "/", "headers": {"": "1"}}])",
         R"(requests[0].headers has "", not a header name)"},
        {Json::array(
             {{{"method", "GET"}, {"url", "/"}, {"headers", {{std::string(129, 'X'), "1"}}}}})
             .dump(),
         "requests[0].headers has \"XXXXXXXXX"},
        {R"([{"method": "GET", "url": "/", "headers": {"X-A": "1", "x-a": "2"}}])",
         R"(requests[0].headers has "x-a" twice (header names ignore case))"},
        {R"([{"method": "GET", "url": "/", "headers": {"X-A": 1}}])",
         R"(requests[0].headers["X-A"] must be a string of at most 1024 bytes without control )"
         R"(characters but tab, not 1)"},
        {R"([{"method": "GET", "url": "/", "headers": {"X-A": "1\r\nX-Injected: 1"}}])",
         R"(requests[0].headers["X-A"] must be a string of at most 1024 bytes)"},
        {Json::array(
             {{{"method", "GET"}, {"url", "/"}, {"headers", {{"X-A", std::string(1025, 'v')}}}}})
             .dump(),
         R"(requests[0].headers["X-A"] must be a string of at most 1024 bytes)"},
        {R"([{"method": "GET", "url": "/", "body": "a=1"}])",
         "requests[0].body is only for POST requests"},
        {R"([{"method": "POST", "url": "/", "body": 5}])",
         "requests[0].body must be a string of at most 16384 bytes, not 5"},
        {Json::array({{{"method", "POST"}, {"url", "/"}, {"body", std::string(16385, 'b')}}})
             .dump(),
         "requests[0].body must be a string of at most 16384 bytes"},
        {"[]", "movies with requests need version 9 or later, not 8", 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.requests.substr(0, 200));
        ToolRun run = Make(R"({"version": )" + std::to_string(c.version) +
                           R"(, "width": 550, "height": 400, "frameRate": 24, "frames": 1,
                               "requests": )" +
                           c.requests + "}");
        EXPECT_EQ(run.status, 1);
        std::string prefix = "swfmovie: " + descriptionPath + ": " + c.reason;
        EXPECT_EQ(run.err.substr(0, prefix.size()), prefix) << run.err;
        EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err; // one line
        EXPECT_TRUE(fs::is_empty(outDir));
    }
}

// The movie's tags, and its code read back: a document class built on Sprite whose constructor
// makes each request in order, each inside its own handler, with the stack, scope and register
// counts every body declares matching what its code needs.
TEST_F(RequestMovieTest, CodeMakesTheRequestsInOrderEachInItsOwnHandler) {
    // Every string as long as allowed, so lengths take two and three bytes.
    auto padded = [](const std::string& text, size_t length, char pad) {
        return text + std::string(length - text.size(), pad);
    };
    Json largest = Json::array();
    for (int i = 0; i < 64; ++i) {
        Json headers = Json::object();
        for (int h = 0; h < 16; ++h) {
            headers[padded("X-" + std::to_string(h) + "-", 128, 'n')] =
                padded(std::to_string(i) + "-", 1024, 'v');
        }
        Json request = {{"method", i % 2 == 0 ? "GET" : "POST"},
                        {"url", padded("http://127.0.0.1:1/" + std::to_string(i) + "/", 2048, 'u')},
                        {"headers", headers}};
        if (i % 2 != 0) {
            request["body"] = padded(std::to_string(i), 16384, 'b');
        }
        largest.push_back(request);
    }
    Json everyLimit =
        Json::parse(R"({"version": 32, "width": 10, "height": 10, "frameRate": 1, "frames": 1})");
    everyLimit["requests"] = largest;
    struct Case {
        const char* title;
        Json description;
        std::vector<uint16_t> codes;
    };
    const Case cases[] = {
        // Headers keep the description's order; a repeated URL is one string in the pool.
        {"with shapes, frames and a background",
         Json::parse(R"({
            "version": 9, "width": 100, "height": 80, "frameRate": 12, "frames": 2,
            "compressed": true, "background": "#102030",
            "shapes": [{"x": 1, "y": 2, "width": 30, "height": 20, "color": "#ff0000"}],
            "requests": [
              {"method": "GET", "url": "http://127.0.0.1:8080/first?a=1",
               "headers": {"X-Zeta": "last letter first", "X-Alpha": "\tt\u00e4b"}},
              {"method": "POST", "url": "http://127.0.0.1:9/second", "headers": {"X-Token": "t"},
               "body": "a=1&b=2"},
              {"method": "POST", "url": "/third"},
              {"method": "GET", "url": "http://127.0.0.1:8080/first?a=1"}]})"),
         {69, 9, 2, 26, 82, 76, 1, 1, 0}},
        {"at every limit", everyLimit, {69, 82, 76, 1, 0}},
        {"with no request",
         Json::parse(R"({"version": 9, "width": 10, "height": 10,
            "frameRate": 1, "frames": 1, "requests": []})"),
         {69, 82, 76, 1, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        ToolRun run = Make(c.description.dump());
        ASSERT_EQ(run.status, 0) << run.err;
        CSWFBaseParse parser;
        ASSERT_TRUE(parser.ParseFileStructure(moviePath.c_str(), true));
        TagWalk walk(parser);
        ASSERT_EQ(walk.Codes(), c.codes);
        auto body = [&](const TagWalk::Tag& tag) {
            return ByteReader(parser.m_data + tag.bodyStart, tag.end - tag.bodyStart);
        };

        ByteReader attributes = body(walk.Tags()[0]);
        EXPECT_EQ(attributes.U32(), 0x09U); // ActionScript 3, network access

        auto doAbcTag = std::find_if(walk.Tags().begin(), walk.Tags().end(),
                                     [](const TagWalk::Tag& tag) { return tag.code == 82; });
        ASSERT_NE(doAbcTag, walk.Tags().end());
        ByteReader doAbc = body(*doAbcTag);
        EXPECT_EQ(doAbc.U32(), 1U); // initialised when first needed
        EXPECT_EQ(doAbc.CString(), "");
        Abc abc;
        ASSERT_NO_THROW(abc = ReadAbc(doAbc));
        EXPECT_TRUE(doAbc.AtEnd()) << "bytes left after the ABC file";
        EXPECT_EQ(abc.major, 46);
        EXPECT_EQ(abc.minor, 16);

        ByteReader symbols = body(*(doAbcTag + 1));
        EXPECT_EQ(symbols.U16(), 1U);
        EXPECT_EQ(symbols.U16(), 0U); // the main timeline
        EXPECT_EQ(symbols.CString(), "RequestMovie");
        EXPECT_TRUE(symbols.AtEnd());

        // One script defines the class in its only trait; the class is a sealed Sprite.
        ASSERT_EQ(abc.scripts.size(), 1U);
        ASSERT_EQ(abc.scripts[0].traits.size(), 1U);
        const Trait& defined = abc.scripts[0].traits[0];
        EXPECT_EQ(defined.kind, 4);
        EXPECT_EQ(abc.Name(defined.name), "RequestMovie");
        ASSERT_EQ(abc.instances.size(), 1U);
        ASSERT_EQ(defined.index, 0U);
        const Abc::Instance& instance = abc.instances[0];
        EXPECT_EQ(abc.Name(instance.name), "RequestMovie");
        EXPECT_EQ(abc.Name(instance.superName), "flash.display::Sprite");

        // Every method has one body, and each declares what its code needs.
        EXPECT_EQ(abc.bodies.size(), abc.methods);
        for (const MethodBody& method : abc.bodies) {
            SCOPED_TRACE("method " + std::to_string(method.method));
            Needs needs;
            ASSERT_NO_THROW(needs = Follow(method));
            EXPECT_EQ(method.maxStack, needs.maxStack);
            EXPECT_EQ(method.maxScopeDepth - method.initScopeDepth, needs.maxScopes);
            EXPECT_GE(method.maxScopeDepth, method.initScopeDepth);
            EXPECT_EQ(method.localCount, needs.registers);
        }
        // The class's methods start inside the script's scope, its instance's inside the class's.
        EXPECT_LT(abc.BodyOf(abc.scripts[0].initializer).initScopeDepth,
                  abc.BodyOf(abc.staticInitializers[0]).initScopeDepth);
        EXPECT_LT(abc.BodyOf(abc.staticInitializers[0]).initScopeDepth,
                  abc.BodyOf(instance.constructor).initScopeDepth);

        const MethodBody& constructor = abc.BodyOf(instance.constructor);
        std::vector<std::pair<uint32_t, uint32_t>> loads;
        std::vector<std::string> steps = Steps(abc, constructor, &loads);
        std::vector<std::string> expected = ExpectedSteps(c.description["requests"]);
        auto differ = std::mismatch(steps.begin(), steps.end(), expected.begin(), expected.end());
        EXPECT_TRUE(differ.first == steps.end() && differ.second == expected.end())
            << "step " << differ.first - steps.begin() << " of " << steps.size() << ": "
            << (differ.first == steps.end() ? "(none)" : differ.first->substr(0, 80))
            << ", expected "
            << (differ.second == expected.end() ? "(none)" : differ.second->substr(0, 80));
        // Each load is inside a range of its own, whose handler lies outside every range.
        ASSERT_EQ(constructor.handlers.size(), loads.size());
        for (size_t i = 0; i < loads.size(); ++i) {
            const MethodBody::Handler& handler = constructor.handlers[i];
            EXPECT_LE(handler.from, loads[i].first);
            EXPECT_LE(loads[i].second, handler.to);
            EXPECT_TRUE(i == 0 || constructor.handlers[i - 1].target < handler.from);
            EXPECT_GE(handler.target, handler.to);
            EXPECT_EQ(handler.type, 0U); // any error
        }
    }
}

} // namespace

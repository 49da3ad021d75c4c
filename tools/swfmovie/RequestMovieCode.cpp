#include "RequestMovieCode.h"

#include "AbcCode.h"
#include "AbcWriter.h"

namespace {

// Scopes each method's closure brings: the script's initializer starts with none and pushes the
// global object, the class captures that one, and methods of its instances see the class too.
constexpr uint32_t kScriptScopes = 0;
constexpr uint32_t kClassScopes = 1;
constexpr uint32_t kInstanceScopes = 2;

// The constructor's registers.
constexpr uint32_t kThis = 0;
constexpr uint32_t kRequest = 1;
constexpr uint32_t kLoader = 2;

} // namespace

std::vector<uint8_t> RequestMovieCode::Abc(const std::vector<MovieDescription::Request>& requests) {
    AbcWriter abc;
    const uint32_t sprite = abc.QName("flash.display", "Sprite");
    const uint32_t urlRequest = abc.QName("flash.net", "URLRequest");
    const uint32_t urlRequestHeader = abc.QName("flash.net", "URLRequestHeader");
    const uint32_t urlLoader = abc.QName("flash.net", "URLLoader");
    const uint32_t documentClass = abc.QName("", kDocumentClass);
    const uint32_t loaders = abc.QName("", "loaders");
    const uint32_t method = abc.QName("", "method");
    const uint32_t requestHeaders = abc.QName("", "requestHeaders");
    const uint32_t data = abc.QName("", "data");
    const uint32_t load = abc.QName("", "load");
    // Array's push, looked up as for any untyped value.
    const uint32_t push = abc.Multiname("push", abc.NamespaceSet({abc.PackageNamespace("")}));

    AbcCode constructor;
    constructor.GetLocal(kThis).PushScope();
    constructor.GetLocal(kThis).ConstructSuper(0);
    constructor.GetLocal(kThis).NewArray(0).InitProperty(loaders);
    for (const MovieDescription::Request& request : requests) {
        AbcCode::Label next = constructor.NewLabel();
        const uint32_t from = constructor.Offset();
        constructor.FindPropStrict(urlRequest)
            .PushString(abc.String(request.url))
            .ConstructProp(urlRequest, 1)
            .SetLocal(kRequest);
        constructor.GetLocal(kRequest).PushString(abc.String(request.method)).SetProperty(method);
        constructor.GetLocal(kRequest);
        for (const auto& [name, value] : request.headers) {
            constructor.FindPropStrict(urlRequestHeader)
                .PushString(abc.String(name))
                .PushString(abc.String(value))
                .ConstructProp(urlRequestHeader, 2);
        }
        constructor.NewArray(static_cast<uint32_t>(request.headers.size()))
            .SetProperty(requestHeaders);
        if (request.body) {
            constructor.GetLocal(kRequest).PushString(abc.String(*request.body)).SetProperty(data);
        }
        constructor.FindPropStrict(urlLoader).ConstructProp(urlLoader, 0).SetLocal(kLoader);
        constructor.GetLocal(kThis).GetProperty(loaders).GetLocal(kLoader).CallPropVoid(push, 1);
        constructor.GetLocal(kLoader).GetLocal(kRequest).CallPropVoid(load, 1);
        const uint32_t to = constructor.Offset();
        constructor.Jump(next);
        // The error is dropped; the player emptied the scope stack, so `this` goes back on.
        constructor.Catch(from, to).Pop().GetLocal(kThis).PushScope();
        constructor.Bind(next);
    }
    constructor.ReturnVoid();

    AbcCode staticInitializer;
    staticInitializer.ReturnVoid();

    AbcWriter::ClassDefinition definition;
    definition.name = documentClass;
    definition.superName = sprite;
    definition.staticInitializer = abc.Method(staticInitializer, kClassScopes);
    definition.constructor = abc.Method(constructor, kInstanceScopes);
    definition.instanceTraits = {AbcWriter::SlotTrait(loaders, 1)};
    const uint32_t classIndex = abc.Class(definition);

    // The global object's `RequestMovie` is the new class, built on Sprite.
    AbcCode scriptInitializer;
    scriptInitializer.GetLocal(kThis).PushScope();
    scriptInitializer.GetScopeObject(0)
        .GetLex(sprite)
        .NewClass(classIndex)
        .InitProperty(documentClass)
        .ReturnVoid();
    abc.Script(abc.Method(scriptInitializer, kScriptScopes),
               {AbcWriter::ClassTrait(documentClass, 1, classIndex)});
    return abc.Bytes();
}

#include "runtime/Runtime.h"

#include <memory>
#include <mutex>

namespace {

struct ClassTable {
    std::recursive_mutex lock;
    std::unordered_map<std::string, Class> byName;
    std::vector<std::unique_ptr<objc_class>> all; // classes and metaclasses, in creation order
};

ClassTable& Table() {
    static ClassTable table;
    return table;
}

Class Make(ClassTable& table, std::string name, Class superclass, bool meta) {
    table.all.push_back(std::make_unique<objc_class>(std::move(name), superclass, meta));
    return table.all.back().get();
}

Method Lookup(Class cls, SEL selector) {
    for (Class walk = cls; walk != nullptr; walk = walk->superclass) {
        auto found = walk->methods.find(selector);
        if (found != walk->methods.end()) {
            return &found->second;
        }
    }
    return nullptr;
}

} // namespace

Class objc_registerRootClass(std::string_view name) {
    ClassTable& table = Table();
    std::lock_guard guard(table.lock);
    auto found = table.byName.find(std::string(name));
    if (found != table.byName.end()) {
        return found->second;
    }
    Class root = Make(table, std::string(name), nullptr, false);
    Class rootMeta = Make(table, std::string(name), root, true);
    root->setIsa(rootMeta);
    rootMeta->setIsa(rootMeta);
    root->factory = [] { return new NSObject(); };
    table.byName.emplace(root->name, root);
    return root;
}

Class objc_registerClass(std::string_view name, Class superclass, id (*factory)()) {
    if (superclass == nullptr || superclass->meta) {
        throw std::invalid_argument("class " + std::string(name) + " needs a superclass");
    }
    ClassTable& table = Table();
    std::lock_guard guard(table.lock);
    auto found = table.byName.find(std::string(name));
    if (found != table.byName.end()) {
        if (found->second->superclass != superclass) {
            throw std::invalid_argument("class " + std::string(name) + " is already registered");
        }
        return found->second;
    }
    Class cls = Make(table, std::string(name), superclass, false);
    Class rootMeta = superclass->isa()->isa();
    Class meta = Make(table, std::string(name), superclass->isa(), true);
    meta->setIsa(rootMeta);
    cls->setIsa(meta);
    cls->factory = factory;
    table.byName.emplace(cls->name, cls);
    return cls;
}

void objc_disposeClass(Class cls) {
    ClassTable& table = Table();
    std::lock_guard guard(table.lock);
    auto found = table.byName.find(cls->name);
    if (found != table.byName.end() && found->second == cls) {
        table.byName.erase(found);
    }
    // The class object itself stays allocated: objects made from it may still point at it.
    // Its tables are emptied so that nothing answers through it any more.
    cls->methods.clear();
    cls->isa()->methods.clear();
}

Class NSClassFromString(std::string_view name) {
    ClassTable& table = Table();
    std::lock_guard guard(table.lock);
    auto found = table.byName.find(std::string(name));
    return found == table.byName.end() ? nullptr : found->second;
}

std::string NSStringFromClass(Class cls) {
    return cls == nullptr ? "(null)" : cls->name;
}

Class object_getClass(const NSObject* object) {
    return object == nullptr ? nullptr : object->isa();
}

Class class_getSuperclass(Class cls) {
    return cls == nullptr ? nullptr : cls->superclass;
}

bool class_isMetaClass(Class cls) {
    return cls != nullptr && cls->meta;
}

Method class_getInstanceMethod(Class cls, SEL selector) {
    std::lock_guard guard(Table().lock);
    return Lookup(cls, selector);
}

Method class_getClassMethod(Class cls, SEL selector) {
    return cls == nullptr ? nullptr : class_getInstanceMethod(cls->isa(), selector);
}

bool class_addMethod(Class cls, SEL selector, IMP imp, std::string_view types) {
    std::lock_guard guard(Table().lock);
    if (cls == nullptr || cls->methods.contains(selector)) {
        return false; // only the class's own table counts: an inherited entry does not
    }
    cls->methods.emplace(selector, objc_method{selector, imp, std::string(types)});
    return true;
}

IMP class_replaceMethod(Class cls, SEL selector, IMP imp, std::string_view types) {
    std::lock_guard guard(Table().lock);
    if (cls == nullptr) {
        return nullptr;
    }
    auto found = cls->methods.find(selector);
    if (found == cls->methods.end()) {
        cls->methods.emplace(selector, objc_method{selector, imp, std::string(types)});
        return nullptr;
    }
    IMP previous = found->second.imp;
    found->second.imp = imp;
    found->second.types = std::string(types);
    return previous;
}

IMP method_getImplementation(Method method) {
    return method == nullptr ? nullptr : method->imp;
}

const char* method_getTypeEncoding(Method method) {
    return method == nullptr ? nullptr : method->types.c_str();
}

void method_exchangeImplementations(Method first, Method second) {
    if (first == nullptr || second == nullptr) {
        return;
    }
    std::lock_guard guard(Table().lock);
    std::swap(first->imp, second->imp);
    std::swap(first->types, second->types);
}

bool instancesRespondToSelector(Class cls, SEL selector) {
    return class_getInstanceMethod(cls, selector) != nullptr;
}

bool respondsToSelector(const NSObject* object, SEL selector) {
    return instancesRespondToSelector(object_getClass(object), selector);
}

Ref<NSObject> class_createInstance(Class cls) {
    for (Class walk = cls; walk != nullptr; walk = walk->superclass) {
        if (walk->factory != nullptr) {
            Ref<NSObject> object = Ref<NSObject>::Adopt(walk->factory());
            object->setIsa(cls);
            return object;
        }
    }
    throw MessageSendError("class " + NSStringFromClass(cls) + " cannot make instances");
}

size_t objc_registrationMark() {
    ClassTable& table = Table();
    std::lock_guard guard(table.lock);
    return table.all.size();
}

std::vector<Class> objc_classesRegisteredSince(size_t mark) {
    ClassTable& table = Table();
    std::lock_guard guard(table.lock);
    std::vector<Class> classes;
    for (size_t i = mark; i < table.all.size(); ++i) {
        if (!table.all[i]->meta) {
            classes.push_back(table.all[i].get());
        }
    }
    return classes;
}

#pragma once

#include <cstddef>
#include <utility>

// A strong reference to a reference-counted runtime object (anything with retain/release).
// Adopt() takes over a reference the caller already owns, as a fresh object's first one.
template <typename T> class Ref {
public:
    Ref() = default;
    Ref(std::nullptr_t) {}
    Ref(T* object) : m_object(object) { // NOLINT(google-explicit-constructor): retains
        if (m_object != nullptr) {
            m_object->retain();
        }
    }
    template <typename U> Ref(const Ref<U>& other) : Ref(other.get()) {}
    Ref(const Ref& other) : Ref(other.m_object) {}
    Ref(Ref&& other) noexcept : m_object(std::exchange(other.m_object, nullptr)) {}
    ~Ref() { reset(); }

    Ref& operator=(const Ref& other) {
        Ref(other).swap(*this);
        return *this;
    }
    Ref& operator=(Ref&& other) noexcept {
        Ref(std::move(other)).swap(*this);
        return *this;
    }

    static Ref Adopt(T* owned) {
        Ref ref;
        ref.m_object = owned;
        return ref;
    }

    void reset() {
        if (T* object = std::exchange(m_object, nullptr)) {
            object->release();
        }
    }
    void swap(Ref& other) noexcept { std::swap(m_object, other.m_object); }

    T* get() const { return m_object; }
    T* operator->() const { return m_object; }
    T& operator*() const { return *m_object; }
    explicit operator bool() const { return m_object != nullptr; }
    friend bool operator==(const Ref& a, const Ref& b) { return a.m_object == b.m_object; }

private:
    T* m_object = nullptr;
};

template <typename T, typename... Args> Ref<T> MakeRef(Args&&... args) {
    return Ref<T>::Adopt(new T(std::forward<Args>(args)...));
}

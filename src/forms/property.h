#pragma once

#include <functional>
#include <utility>

namespace forms {

// A control property: reads with `x.Text()` or by conversion, writes with `x.Text = value`.
// Writing may raise the control's events synchronously, before the assignment returns.
template <typename T>
class Property {
public:
    using Getter = std::function<T()>;
    using Setter = std::function<void(T)>;

    Property(Getter get, Setter set) : get_(std::move(get)), set_(std::move(set)) {}
    Property(const Property&) = delete;

    T operator()() const { return get_(); }
    operator T() const { return get_(); }

    Property& operator=(T value) {
        set_(std::move(value));
        return *this;
    }
    // Assigning one property to another copies the value, never the binding.
    Property& operator=(const Property& other) {
        set_(other());
        return *this;
    }

private:
    Getter get_;
    Setter set_;
};

}  // namespace forms

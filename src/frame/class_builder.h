#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "ptolix/frame/registry.h"

namespace ptolix {

namespace detail {

// How a declared parameter type is held while a call is made, and converted.
template <class P>
struct ArgTraits;
template <>
struct ArgTraits<std::string_view> {
  using Stored = std::string;
  static constexpr ParamKind kKind = ParamKind::kString;
  static Stored From(const Variant& v, std::string_view n) { return ArgToString(v, n); }
};
template <>
struct ArgTraits<const std::string&> : ArgTraits<std::string_view> {};
template <>
struct ArgTraits<std::string> : ArgTraits<std::string_view> {};
template <>
struct ArgTraits<int32_t> {
  using Stored = int32_t;
  static constexpr ParamKind kKind = ParamKind::kLong;
  static Stored From(const Variant& v, std::string_view n) { return ArgToLong(v, n); }
};
template <>
struct ArgTraits<int16_t> {
  using Stored = int16_t;
  static constexpr ParamKind kKind = ParamKind::kInteger;
  static Stored From(const Variant& v, std::string_view n) { return ArgToInteger(v, n); }
};
template <>
struct ArgTraits<bool> {
  using Stored = bool;
  static constexpr ParamKind kKind = ParamKind::kBoolean;
  static Stored From(const Variant& v, std::string_view n) { return ArgToBool(v, n); }
};
template <>
struct ArgTraits<const Variant&> {
  using Stored = Variant;
  static constexpr ParamKind kKind = ParamKind::kVariant;
  static Stored From(const Variant& v, std::string_view) { return v; }
};

template <class R>
Variant ToVariant(R&& r) {
  return Variant(std::forward<R>(r));
}

}  // namespace detail

// Fluent description of one class for the registry:
//
//   ClassBuilder<Role>("Role", "{E3AE...}", "{0C2A...}")
//       .Frame()
//       .Method("GetRoleList", &Role::GetRoleList, {"pWebSite", "pCurPage?"})
//       .Build();
//
// A parameter name ending in "?" is optional; an omitted optional argument
// arrives as empty text, 0 or false.
template <class T>
class ClassBuilder {
 public:
  ClassBuilder(std::string name, std::string clsid, std::string iid) {
    info_.progid = std::string(kProgidPrefix) + name;
    info_.name = std::move(name);
    info_.clsid = std::move(clsid);
    info_.iid = std::move(iid);
    info_.create = [] { return std::unique_ptr<Dispatchable>(new T()); };
  }

  template <class R, class... P>
  ClassBuilder& Method(std::string name, R (T::*fn)(P...) noexcept,
                       std::vector<std::string> param_names = {}) {
    return AddMethod<R, P...>(std::move(name), fn, std::move(param_names));
  }
  template <class R, class... P>
  ClassBuilder& Method(std::string name, R (T::*fn)(P...),
                       std::vector<std::string> param_names = {}) {
    return AddMethod<R, P...>(std::move(name), fn, std::move(param_names));
  }

  // A property with a getter (const member returning a value) and an
  // optional setter taking one argument.
  template <class G>
  ClassBuilder& ReadOnly(std::string name, G getter) {
    info_.properties.push_back(
        {std::move(name),
         [getter](Dispatchable& d) { return Variant((static_cast<T&>(d).*getter)()); }, nullptr});
    return *this;
  }
  template <class G, class S>
  ClassBuilder& ReadWrite(std::string name, G getter, S setter) {
    ReadOnly(name, getter);
    info_.properties.back().put = [setter, name](Dispatchable& d, const Variant& v) {
      using P = typename SetterArg<S>::type;
      (static_cast<T&>(d).*setter)(detail::ArgTraits<P>::From(v, name));
    };
    return *this;
  }

  // Connection (write only) and Errors.
  ClassBuilder& Connected() {
    info_.set_connection = [](Dispatchable& d, std::shared_ptr<db::Connection> c) {
      static_cast<T&>(d).SetConnection(std::move(c));
    };
    ReadOnly("Errors", &T::Errors);
    return *this;
  }
  // Connection, Errors, PageSize, RecordCount and PageCount.
  ClassBuilder& Frame() {
    Connected();
    ReadWrite("PageSize", &T::PageSize, &T::SetPageSize);
    ReadOnly("RecordCount", &T::RecordCount);
    ReadOnly("PageCount", &T::PageCount);
    return *this;
  }

  ClassInfo Build() { return std::move(info_); }

 private:
  template <class S>
  struct SetterArg;
  template <class C, class P>
  struct SetterArg<void (C::*)(P)> {
    using type = P;
  };
  template <class C, class P>
  struct SetterArg<void (C::*)(P) noexcept> {
    using type = P;
  };

  template <class R, class... P, class F>
  ClassBuilder& AddMethod(std::string name, F fn, std::vector<std::string> param_names) {
    if (param_names.size() != sizeof...(P)) {
      throw std::logic_error("parameter names of " + name + " do not match its signature");
    }
    MethodInfo m;
    m.name = std::move(name);
    constexpr ParamKind kinds[] = {detail::ArgTraits<P>::kKind..., ParamKind::kVariant};
    for (size_t i = 0; i < param_names.size(); ++i) {
      std::string n = param_names[i];
      bool optional = !n.empty() && n.back() == '?';
      if (optional) n.pop_back();
      m.params.push_back({n, kinds[i], optional});
    }
    std::vector<std::string> names;
    for (const auto& p : m.params) names.push_back(p.name);
    m.invoke = [fn, names](Dispatchable& d, Args& args) -> Variant {
      return Invoke<R, P...>(static_cast<T&>(d), fn, args, names, std::index_sequence_for<P...>{});
    };
    info_.methods.push_back(std::move(m));
    return *this;
  }

  template <class R, class... P, class F, size_t... I>
  static Variant Invoke(T& obj, F fn, Args& args, const std::vector<std::string>& names,
                        std::index_sequence<I...>) {
    std::tuple<typename detail::ArgTraits<P>::Stored...> stored{
        detail::ArgTraits<P>::From(args[I], names[I])...};
    if constexpr (std::is_void_v<R>) {
      (obj.*fn)(std::get<I>(stored)...);
      return Variant();
    } else {
      return detail::ToVariant((obj.*fn)(std::get<I>(stored)...));
    }
  }

  ClassInfo info_;
};

}  // namespace ptolix

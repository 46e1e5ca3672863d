#pragma once

namespace ptolix {

// A method that a class inherits, as a member of the class itself, so the
// class table can list it (member pointers of a base do not deduce).
template <class Derived, class Base, class R, class... P>
auto Inherited(R (Base::*method)(P...) noexcept) {
  using Member = R (Derived::*)(P...) noexcept;
  return static_cast<Member>(method);
}

}  // namespace ptolix

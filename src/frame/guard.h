#pragma once

#include <utility>

#include "ptolix/frame/frame.h"
#include "value/failure.h"

namespace ptolix {

template <class R, class F>
R ConnectedObject::Guard(F&& body) noexcept {
  return Guarded<R>(errors_, std::forward<F>(body));
}

}  // namespace ptolix

#pragma once

#include "ptolix/frame/frame.h"

namespace ptolix {

// Not built yet: creatable, with the frame's properties only.
class Link : public FrameObject {};

}  // namespace ptolix

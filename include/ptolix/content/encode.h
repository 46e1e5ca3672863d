#pragma once

#include "ptolix/frame/frame.h"

namespace ptolix {

// Not built yet: creatable, with the frame's properties only.
class Encode : public ConnectedObject {};

}  // namespace ptolix

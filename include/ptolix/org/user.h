#pragma once

#include "ptolix/org/user_access.h"

namespace ptolix {

// Not built yet: creatable, with the frame's properties only.
class User : public UserAccess {};

}  // namespace ptolix

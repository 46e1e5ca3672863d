#pragma once

#include "ptolix/frame/registry.h"

// The registry table of the System class, defined beside the class.
namespace ptolix {

ClassInfo SystemClass();

}  // namespace ptolix

#pragma once

#include "ptolix/frame/registry.h"

// The registry tables of the folder's classes, each defined beside its class.
namespace ptolix {

ClassInfo RoleClass();
ClassInfo UserClass();

}  // namespace ptolix

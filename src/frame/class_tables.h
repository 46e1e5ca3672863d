#pragma once

#include "ptolix/frame/registry.h"

// Each class's registry table, defined beside the class.
namespace ptolix {

ClassInfo AboutClass();
ClassInfo SystemClass();
ClassInfo RoleClass();
ClassInfo UserClass();
ClassInfo ColumnClass();
ClassInfo InformationClass();
ClassInfo EncodeClass();
ClassInfo StyleClass();
ClassInfo PageClass();
ClassInfo WebSiteClass();
ClassInfo UploadClass();
ClassInfo LinkClass();

}  // namespace ptolix

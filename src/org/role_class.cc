#include "frame/class_tables.h"
#include "ptolix/frame/class_builder.h"
#include "ptolix/org/role.h"

namespace ptolix {

ClassInfo RoleClass() {
  return ClassBuilder<Role>("Role", "{E3AE6F39-90FC-4BC4-80C0-9451D02F1D08}",
                              "{0C2AA785-F442-4DF8-AA7B-7C5777270E03}")
      .Frame()
      .Build();
}

}  // namespace ptolix

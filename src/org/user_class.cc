#include "frame/class_tables.h"
#include "ptolix/frame/class_builder.h"
#include "ptolix/org/user.h"

namespace ptolix {

ClassInfo UserClass() {
  return ClassBuilder<User>("User", "{EA209D65-1FBD-44BF-A98A-E202A761D077}",
                              "{CA408C29-FEA7-4B41-B195-B871EAC918B3}")
      .Frame()
      .Build();
}

}  // namespace ptolix

#include "frame/class_tables.h"
#include "ptolix/frame/class_builder.h"
#include "ptolix/content/information.h"

namespace ptolix {

ClassInfo InformationClass() {
  return ClassBuilder<Information>("Information", "{7D1BB9A1-6FBD-462B-A73A-39411A16AC1E}",
                              "{75233EB2-CA8F-4325-9FF8-1A8761259F2C}")
      .Frame()
      .Build();
}

}  // namespace ptolix

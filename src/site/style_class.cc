#include "frame/class_tables.h"
#include "ptolix/frame/class_builder.h"
#include "ptolix/site/style.h"

namespace ptolix {

ClassInfo StyleClass() {
  return ClassBuilder<Style>("Style", "{5BA397F7-A907-4B22-A617-069CA5DC86A6}",
                              "{542DED67-D91B-41CB-AD2B-A88044508C42}")
      .Frame()
      .Build();
}

}  // namespace ptolix

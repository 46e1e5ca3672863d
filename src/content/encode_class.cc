#include "frame/class_tables.h"
#include "ptolix/frame/class_builder.h"
#include "ptolix/content/encode.h"

namespace ptolix {

ClassInfo EncodeClass() {
  return ClassBuilder<Encode>("Encode", "{226BD58F-03DC-45D9-90A7-D9D36DD63C05}",
                              "{C1C27B6D-253F-46CE-A732-661E783C66D9}")
      .Connected()
      .Build();
}

}  // namespace ptolix

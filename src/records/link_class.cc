#include "frame/class_tables.h"
#include "ptolix/frame/class_builder.h"
#include "ptolix/records/link.h"

namespace ptolix {

ClassInfo LinkClass() {
  return ClassBuilder<Link>("Link", "{CDD0AC11-1A96-4093-A836-61389859A103}",
                              "{C51B8C3A-10AE-4AE3-A0D7-80F32D5BE838}")
      .Frame()
      .Build();
}

}  // namespace ptolix

#include "frame/class_tables.h"
#include "ptolix/frame/class_builder.h"
#include "ptolix/site/page.h"

namespace ptolix {

ClassInfo PageClass() {
  return ClassBuilder<Page>("Page", "{0B468A51-D34B-42A7-B8DB-ED0E1AFA7166}",
                              "{EC7EE28F-296D-4706-8FF3-E93FDA8B9959}")
      .Frame()
      .Build();
}

}  // namespace ptolix

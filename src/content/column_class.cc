#include "frame/class_tables.h"
#include "ptolix/frame/class_builder.h"
#include "ptolix/content/column.h"

namespace ptolix {

ClassInfo ColumnClass() {
  return ClassBuilder<Column>("Column", "{BB10C2A5-2068-42E0-952D-959BB9E359A1}",
                              "{D9F4EFE8-7979-4AAF-ACF1-CF59331E6C52}")
      .Frame()
      .Build();
}

}  // namespace ptolix

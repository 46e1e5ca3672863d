#include "frame/class_builder.h"
#include "ptolix/records/about.h"
#include "records/class_tables.h"

namespace ptolix {

ClassInfo AboutClass() {
  return ClassBuilder<About>("About", "{AB75EEF3-1D70-4945-B2AF-C8FF380ED666}",
                             "{84234E34-9688-4384-92B7-9B030116D617}")
      .ReadOnly("Title", &About::Title)
      .ReadOnly("Copyright", &About::Copyright)
      .ReadOnly("Author", &About::Author)
      .ReadOnly("Version", &About::Version)
      .ReadOnly("CreateDate", &About::CreateDate)
      .ReadOnly("ModifiedDate", &About::ModifiedDate)
      .Build();
}

}  // namespace ptolix

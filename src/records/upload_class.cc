#include "frame/class_builder.h"
#include "ptolix/records/upload.h"
#include "records/class_tables.h"

namespace ptolix {

ClassInfo UploadClass() {
  return ClassBuilder<upload>("upload", "{DC222464-B569-4D5A-86B6-C5E8F049EC81}",
                              "{78FB7A5A-6AE8-4180-8B49-E9CACD7C9199}")
      .Frame()
      .Method("RecordUploadFile", &upload::RecordUploadFile, {"sUsrID", "sFileUseFor"})
      .Method("RecordUploadFileName", &upload::RecordUploadFileName, {"sID", "sFileName"})
      .Build();
}

}  // namespace ptolix

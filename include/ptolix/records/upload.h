#pragma once

#include <string>
#include <string_view>

#include "ptolix/frame/frame.h"

namespace ptolix {

// Records of files users upload through the web pages, in two steps: a
// record for a user and a purpose, whose identifier the page keeps, then the
// stored file's name. No file content is kept here.
class upload : public FrameObject {
 public:
  // Adds a record and returns the identifier the database assigned to it, as
  // text; empty text on failure. Empty arguments leave their columns to the
  // database default.
  std::string RecordUploadFile(std::string_view sUsrID, std::string_view sFileUseFor) noexcept;
  // Writes the file name into the record `sID` (empty name: null). An
  // identifier that matches no record, or empty text, changes nothing.
  void RecordUploadFileName(std::string_view sID, std::string_view sFileName) noexcept;
};

}  // namespace ptolix

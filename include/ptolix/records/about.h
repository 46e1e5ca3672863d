#pragma once

#include <string>

#include "ptolix/frame/frame.h"
#include "ptolix/value/variant.h"

namespace ptolix {

// Product information: title, copyright, author, version and dates. No
// connection, no errors; it cannot fail.
class About : public Dispatchable {
 public:
  std::string Title() const { return "CorvanePtolix"; }
  std::string Copyright() const { return "Copyright (C) 2002 Corvane. All rights reserved."; }
  std::string Author() const { return "Corvane Ptolix team"; }
  std::string Version() const { return "2.0"; }
  DateTime CreateDate() const { return DateTime{2002, 8, 2, 0, 0, 0}; }
  // A copy of the four modification dates, oldest first.
  VariantList ModifiedDate() const;
};

}  // namespace ptolix

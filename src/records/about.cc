#include "ptolix/records/about.h"

namespace ptolix {

VariantList About::ModifiedDate() const {
  return {DateTime{2002, 8, 16, 0, 0, 0}, DateTime{2002, 9, 18, 0, 0, 0},
          DateTime{2002, 10, 10, 0, 0, 0}, DateTime{2002, 12, 27, 0, 0, 0}};
}

}  // namespace ptolix

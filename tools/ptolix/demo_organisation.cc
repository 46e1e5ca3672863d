#include "demo.h"

namespace ptolix::tool {

void DemoOrganisation(DemoContext&) {}

}  // namespace ptolix::tool

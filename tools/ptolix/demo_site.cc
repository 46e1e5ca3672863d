#include "demo.h"

namespace ptolix::tool {

void DemoSite(DemoContext&) {}

}  // namespace ptolix::tool

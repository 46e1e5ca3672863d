#include "demo.h"

namespace ptolix::tool {

void DemoColumns(DemoContext&) {}

}  // namespace ptolix::tool

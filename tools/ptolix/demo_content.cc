#include "demo.h"

namespace ptolix::tool {

void DemoContent(DemoContext&) {}

}  // namespace ptolix::tool

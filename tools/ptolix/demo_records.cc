#include <ostream>

#include "demo.h"

namespace ptolix::tool {

void DemoRecords(DemoContext& ctx) {
  ctx.Heading("Product information");
  auto about = ctx.New("About");
  for (const char* p : {"Title", "Version", "CreateDate", "ModifiedDate"}) {
    ctx.out << p << ": " << ToDisplay(about->Get(p)) << "\n";
  }
}

}  // namespace ptolix::tool

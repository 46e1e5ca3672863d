// Rules of the library that page scripts and the web front apply too,
// offered so that they are not written twice.

#include "binding.h"
#include "ptolix/frame/frame.h"
#include "ptolix/value/code_widths.h"
#include "ptolix/value/errors.h"

namespace ptolix::python {

void BindRules(py::module_& m) {
  m.attr("COLUMN_CODE_WIDTH") = kColumnCodeWidth;
  m.def(
      "page_number",
      [](const std::string& text, int32_t page_count) {
        try {
          return PageNumber(text, page_count);
        } catch (const std::exception&) {
          return int32_t{1};  // the list itself reports the bad page text
        }
      },
      py::arg("text"), py::arg("page_count"),
      "The page a paged list shows for the page text `text` among `page_count` pages: empty "
      "text is page 1, numbers round half to even and are kept within 1..page_count; text that "
      "is no number gives 1.");
}

}  // namespace ptolix::python

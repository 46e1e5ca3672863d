// The error numbers and texts callers test for, and the reading of an
// object's Errors into lines: ptolix.CONNECTION_LOST, STATEMENT_REFUSED,
// NO_RECORDS, ErrorLine and error_lines.

#include "ptolix/frame/errors.h"

#include <pybind11/stl.h>

#include "binding.h"

namespace ptolix::python {

namespace {

// error_lines(obj_or_text): the Errors text of an object, or the text given.
std::vector<ErrorLine> Lines(py::handle source) {
  if (py::isinstance<py::str>(source)) return ParseErrorLines(source.cast<std::string>());
  if (!py::hasattr(source, "Errors")) {
    Raise(PyExc_TypeError, "ptolix.error_lines takes an object with Errors or its text, not " +
                               std::string(Py_TYPE(source.ptr())->tp_name));
  }
  return ParseErrorLines(source.attr("Errors").cast<std::string>());
}

}  // namespace

void BindErrors(py::module_& m) {
  m.attr("CONNECTION_LOST") = err::kConnectionLost;
  m.attr("STATEMENT_REFUSED") = err::kDatabase;
  m.attr("NO_RECORDS") = std::string(kNoRecords);

  py::class_<ErrorLine>(m, "ErrorLine",
                        "One line of an object's Errors: time ('YYYY-MM-DD HH:MM:SS', '' for a "
                        "line in neither form), number (None for the system's own messages) "
                        "and message.")
      .def_readonly("time", &ErrorLine::time, "When it was recorded, in local time.")
      .def_readonly("number", &ErrorLine::number,
                    "The failure number (ptolix.CONNECTION_LOST, ptolix.STATEMENT_REFUSED, 13 "
                    "...), or None for a message of the system's own ('[Ptolix]').")
      .def_readonly("message", &ErrorLine::message, "The description or message.")
      .def(
          "__eq__",
          [](const ErrorLine& a, const ErrorLine& b) {
            return a.time == b.time && a.number == b.number && a.message == b.message;
          },
          "Lines are equal when time, number and message are.")
      .def(
          "__repr__",
          [](const ErrorLine& line) {
            std::string number = line.number ? std::to_string(*line.number) : "None";
            return "<ptolix.ErrorLine " + line.time + " [" + number + "] " + line.message + ">";
          },
          "The line as the Errors text shows it.");

  m.def("error_lines", &Lines, py::arg("obj_or_text"),
        "The lines of an object's Errors (or of an Errors text), oldest first, as "
        "ptolix.ErrorLine. A line is a failure when its number is set: ptolix.CONNECTION_LOST "
        "means the database was unreachable and the next call opens it again; "
        "ptolix.STATEMENT_REFUSED means the database refused the statement.");
}

}  // namespace ptolix::python

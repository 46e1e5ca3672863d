// The ptolix module: page scripts in Python drive the library in-process.

#include "binding.h"
#include "ptolix/frame/result_array.h"
#include "ptolix/version.h"

namespace ptolix::python {

namespace {

py::object database_error;

// ptolix.records(result): the data rows of a result as dicts keyed by the
// field names of row 0.
py::list Records(py::handle result) {
  py::list out;
  if (result.is_none()) return out;
  if (!py::isinstance<py::list>(result)) {
    Raise(PyExc_TypeError, "ptolix.records takes a result array (a list of rows) or None, not " +
                               std::string(Py_TYPE(result.ptr())->tp_name));
  }
  auto rows = py::reinterpret_borrow<py::list>(result);
  if (rows.size() == 0) return out;
  if (!py::isinstance<py::list>(rows[0]))
    Raise(PyExc_TypeError, "ptolix.records: row 0 is not a list of names");
  auto names = py::reinterpret_borrow<py::list>(rows[0]);
  for (size_t r = 1; r < rows.size(); ++r) {
    py::handle row = rows[r];
    if (!py::isinstance<py::list>(row) || py::len(row) != names.size()) {
      Raise(PyExc_TypeError,
            "ptolix.records: row " + std::to_string(r) + " does not match the names of row 0");
    }
    py::dict record;
    auto cells = py::reinterpret_borrow<py::list>(row);
    for (size_t c = 0; c < names.size(); ++c) record[names[c]] = cells[c];
    out.append(std::move(record));
  }
  return out;
}

}  // namespace

py::handle DatabaseErrorType() { return database_error; }

void Raise(py::handle type, const std::string& message) {
  PyErr_SetString(type.ptr(), message.c_str());
  throw py::error_already_set();
}

}  // namespace ptolix::python

PYBIND11_MODULE(ptolix, m) {
  m.attr("__version__") = PTOLIX_VERSION_STRING;
  namespace python = ptolix::python;
  namespace py = pybind11;
  m.doc() =
      "Ptolix in-process: create objects by program identifier, hand them a connection, set "
      "PageSize, call methods, read Errors.\n\n"
      "    with ptolix.connect('sqlite:site.db') as conn:\n"
      "        user = ptolix.create('User', conn)\n"
      "        if user.LoginVertify('admin', 'secret'):\n"
      "            ...\n"
      "        print(user.Errors)\n\n"
      "Business failures are never raised: they are lines of the object's Errors. What could not "
      "even be called raises: an unknown class, method or property is AttributeError, a wrong "
      "argument count or value TypeError, a database that cannot be reached ptolix.DatabaseError.";
  python::database_error = py::reinterpret_steal<py::object>(PyErr_NewExceptionWithDoc(
      "ptolix.DatabaseError",
      "The database could not be opened, or refused a statement of Connection.execute.", nullptr,
      nullptr));
  if (!python::database_error) throw py::error_already_set();
  python::database_error.inc_ref();  // lives as long as the interpreter
  m.attr("DatabaseError") = python::database_error;

  python::InitValues(m);
  python::BindConnection(m);
  python::BindErrors(m);
  python::BindObjects(m);
  m.def("records", &python::Records, py::arg("result"),
        "The data rows of a result array as dicts keyed by the field names of row 0; [] for None.");
}

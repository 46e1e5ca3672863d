// Conversions between the automation values of the library and Python
// objects, written on the C API: they run for every argument and every cell
// of a result.

#include <Python.h>
#include <datetime.h>

#include "binding.h"
#include "ptolix/value/result_array.h"

namespace ptolix::python {

namespace {

// ptolix.Empty: the value of a variable never assigned.
struct EmptyTag {};

py::object empty_value;

PyObject* Text(const std::string& s) {
  // Text from the database is UTF-8; a stray byte must not make a page fail.
  return PyUnicode_DecodeUTF8(s.data(), static_cast<Py_ssize_t>(s.size()), "replace");
}

PyObject* NewRef(PyObject* o) {
  Py_INCREF(o);
  return o;
}

PyObject* Convert(const Variant& v);

PyObject* ConvertRows(const ResultArray& a) {
  if (!a.allocated()) return NewRef(Py_None);
  int32_t rows = a.DataRows(), columns = a.Columns();
  PyObject* list = PyList_New(rows + 1);
  if (!list) return nullptr;
  for (int32_t r = 0; r <= rows; ++r) {
    PyObject* row = PyList_New(columns);
    if (!row) {
      Py_DECREF(list);
      return nullptr;
    }
    PyList_SET_ITEM(list, r, row);
    for (int32_t c = 0; c < columns; ++c) {
      PyObject* cell = r == 0 ? Text(a.FieldNames()[c]) : Convert(a.At(r, c));
      if (!cell) {
        Py_DECREF(list);
        return nullptr;
      }
      PyList_SET_ITEM(row, c, cell);
    }
  }
  return list;
}

PyObject* Convert(const Variant& v) {
  switch (v.kind()) {
    case Variant::Kind::kEmpty:
      return NewRef(empty_value.ptr());
    case Variant::Kind::kNull:
      return NewRef(Py_None);
    case Variant::Kind::kBoolean:
      return NewRef(v.AsBool() ? Py_True : Py_False);
    case Variant::Kind::kInteger:
    case Variant::Kind::kLong:
    case Variant::Kind::kInt64:
      return PyLong_FromLongLong(v.AsInt64());
    case Variant::Kind::kDouble:
      return PyFloat_FromDouble(v.AsDouble());
    case Variant::Kind::kString:
      return Text(v.AsString());
    case Variant::Kind::kDate: {
      const DateTime& d = v.AsDate();
      return PyDateTime_FromDateAndTime(d.year, d.month, d.day, d.hour, d.minute, d.second, 0);
    }
    case Variant::Kind::kArray:
      return ConvertRows(v.AsArray());
    case Variant::Kind::kList: {
      const VariantList& items = v.AsList();
      PyObject* list = PyList_New(static_cast<Py_ssize_t>(items.size()));
      if (!list) return nullptr;
      for (size_t i = 0; i < items.size(); ++i) {
        PyObject* item = Convert(items[i]);
        if (!item) {
          Py_DECREF(list);
          return nullptr;
        }
        PyList_SET_ITEM(list, static_cast<Py_ssize_t>(i), item);
      }
      return list;
    }
  }
  return NewRef(Py_None);
}

py::object Steal(PyObject* o) {
  if (!o) throw py::error_already_set();
  return py::reinterpret_steal<py::object>(o);
}

}  // namespace

void InitValues(py::module_& m) {
  PyDateTime_IMPORT;
  if (!PyDateTimeAPI) throw py::error_already_set();
  py::class_<EmptyTag>(m, "EmptyType",
                       "The type of ptolix.Empty, the value of a variable never assigned (distinct "
                       "from None, the database's Null).")
      .def("__repr__", [](const EmptyTag&) { return "ptolix.Empty"; })
      .def("__bool__", [](const EmptyTag&) { return false; })
      .def("__str__", [](const EmptyTag&) { return ""; });
  empty_value = py::cast(EmptyTag{});
  // The singleton lives as long as the interpreter; keep it out of the
  // module's teardown order.
  empty_value.inc_ref();
  m.attr("Empty") = empty_value;
}

py::handle EmptyValue() { return empty_value; }

Variant FromPython(py::handle value) {
  PyObject* o = value.ptr();
  if (o == Py_None) return Variant::Null();
  if (o == empty_value.ptr()) return Variant();
  if (PyBool_Check(o)) return Variant(o == Py_True);
  if (PyLong_Check(o)) {
    int overflow = 0;
    long long n = PyLong_AsLongLongAndOverflow(o, &overflow);
    if (overflow != 0)
      throw ConversionError{"integer " + py::repr(value).cast<std::string>() + " is too large"};
    if (n == -1 && PyErr_Occurred()) throw py::error_already_set();
    if (n >= INT32_MIN && n <= INT32_MAX) return Variant(static_cast<int32_t>(n));
    return Variant(static_cast<int64_t>(n));
  }
  if (PyFloat_Check(o)) return Variant(PyFloat_AS_DOUBLE(o));
  if (PyUnicode_Check(o)) {
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(o, &size);
    if (!data) {
      PyErr_Clear();
      throw ConversionError{"text that is not valid Unicode"};
    }
    return Variant(std::string(data, static_cast<size_t>(size)));
  }
  if (PyDateTime_Check(o)) {
    if (((PyDateTime_DateTime*)o)->hastzinfo && ((PyDateTime_DateTime*)o)->tzinfo != Py_None) {
      throw ConversionError{"a datetime with a time zone (dates are local times without one)"};
    }
    return Variant(DateTime{PyDateTime_GET_YEAR(o), PyDateTime_GET_MONTH(o), PyDateTime_GET_DAY(o),
                            PyDateTime_DATE_GET_HOUR(o), PyDateTime_DATE_GET_MINUTE(o),
                            PyDateTime_DATE_GET_SECOND(o)});
  }
  if (PyDate_Check(o)) {
    return Variant(
        DateTime{PyDateTime_GET_YEAR(o), PyDateTime_GET_MONTH(o), PyDateTime_GET_DAY(o), 0, 0, 0});
  }
  if (PyList_Check(o) || PyTuple_Check(o)) {
    VariantList items;
    auto seq = py::reinterpret_borrow<py::sequence>(value);
    items.reserve(seq.size());
    for (auto item : seq) items.push_back(FromPython(item));
    return Variant(std::move(items));
  }
  throw ConversionError{"cannot convert " + std::string(Py_TYPE(o)->tp_name) +
                        " (use str, int, float, bool, None, ptolix.Empty or datetime)"};
}

py::object ToPython(const Variant& value) { return Steal(Convert(value)); }
py::object ToPython(const ResultArray& rows) { return Steal(ConvertRows(rows)); }

}  // namespace ptolix::python

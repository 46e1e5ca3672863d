// The late-bound objects: one Python type per class of the registry, with its
// methods and properties as attributes (letter case ignored on lookup), so
// that dir() and help() describe the class as a page author sees it.

#include <chrono>
#include <map>

#include "binding.h"
#include "ptolix/db/error.h"
#include "ptolix/value/text_case.h"

namespace ptolix::python {

namespace {

// The Python type of each registered class.
std::map<const ClassInfo*, py::object>& Types() {
  static auto* types = new std::map<const ClassInfo*, py::object>();
  return *types;
}

Object& Live(LateBound& self) {
  if (!self.object)
    Raise(PyExc_TypeError, "ptolix: objects are made by ptolix.create(progid, connection)");
  return *self.object;
}

OwnerGuard& GuardOf(LateBound& self) {
  return self.connection ? self.connection->guard() : self.own_guard;
}

std::string GuardName(LateBound& self) {
  return self.connection ? self.connection->label() : self.object->info().progid;
}

const char* GuardWhat(LateBound& self) { return self.connection ? "connection" : "object"; }

const char* KindName(ParamKind kind) {
  switch (kind) {
    case ParamKind::kString:
      return "text";
    case ParamKind::kLong:
      return "long (32-bit integer)";
    case ParamKind::kInteger:
      return "integer (16-bit)";
    case ParamKind::kBoolean:
      return "bool";
    case ParamKind::kVariant:
      return "any value";
  }
  return "any value";
}

// What an omitted optional argument means, as a signature's default.
const char* OmittedValue(ParamKind kind) {
  switch (kind) {
    case ParamKind::kLong:
    case ParamKind::kInteger:
      return "=0";
    case ParamKind::kBoolean:
      return "=False";
    default:
      return "=''";
  }
}

std::string Member(const ClassInfo& info, std::string_view member) {
  return info.progid + "." + std::string(member);
}

Variant Argument(py::handle value, const ClassInfo& info, const MethodInfo& m, size_t i) {
  try {
    return FromPython(value);
  } catch (const ConversionError& e) {
    Raise(PyExc_TypeError, Member(info, m.name) + ": argument " + m.params[i].name + ": " + e.what);
  }
}

py::object CallMethod(LateBound& self, const ClassInfo& info, const MethodInfo& m,
                      const py::args& args, const py::kwargs& kwargs) {
  Object& object = Live(self);
  const auto& params = m.params;
  size_t given = args.size();
  if (given > params.size()) {
    Raise(PyExc_TypeError, Member(info, m.name) + " takes " + m.ArgCountText() + " arguments, " +
                               std::to_string(given) + " given");
  }
  Args values(params.size());  // omitted ones stay Empty
  std::vector<bool> present(params.size(), false);
  for (size_t i = 0; i < given; ++i) {
    values[i] = Argument(args[i], info, m, i);
    present[i] = true;
  }
  for (auto [key, value] : kwargs) {
    std::string name = py::str(key);
    size_t j = m.ParamIndex(name);
    if (j == params.size())
      Raise(PyExc_TypeError, Member(info, m.name) + " has no parameter " + name);
    if (present[j])
      Raise(PyExc_TypeError,
            Member(info, m.name) + ": argument " + params[j].name + " given twice");
    values[j] = Argument(value, info, m, j);
    present[j] = true;
  }
  for (size_t i = 0; i < params.size(); ++i) {
    if (!params[i].optional && !present[i]) {
      Raise(PyExc_TypeError, Member(info, m.name) + ": argument " + params[i].name +
                                 " is required (" + m.ArgCountText() + " arguments, " +
                                 std::to_string(given + kwargs.size()) + " given)");
    }
  }
  GuardScope scope(GuardOf(self), GuardWhat(self), GuardName(self));
  if (self.connection) self.connection->Open();  // a closed connection raises
  Variant result;
  try {
    py::gil_scoped_release unlocked;
    result = m.invoke(object.impl(), values);
  } catch (const HostError& e) {
    Raise(PyExc_TypeError, Member(info, m.name) + ": " + e.what());
  } catch (const db::Error& e) {
    Raise(DatabaseErrorType(), Member(info, m.name) + ": " + e.description());
  }
  return ToPython(result);
}

py::object GetProperty(LateBound& self, const PropertyInfo& p) {
  Object& object = Live(self);
  if (!p.get)
    Raise(PyExc_AttributeError, "property " + Member(object.info(), p.name) + " is write only");
  GuardScope scope(GuardOf(self), GuardWhat(self), GuardName(self));
  return ToPython(p.get(object.impl()));
}

void SetConnection(LateBound& self, py::handle value) {
  Object& object = Live(self);
  std::shared_ptr<PyConnection> connection;
  if (!value.is_none()) {
    if (!py::isinstance<PyConnection>(value)) {
      Raise(PyExc_TypeError, "property " + Member(object.info(), "Connection") +
                                 " takes a ptolix.Connection, not " +
                                 std::string(Py_TYPE(value.ptr())->tp_name));
    }
    connection = value.cast<std::shared_ptr<PyConnection>>();
  }
  GuardScope scope(GuardOf(self), GuardWhat(self), GuardName(self));
  object.PutConnection(connection ? connection->Open() : nullptr);
  if (self.connection) self.connection->Detach(&self);
  self.connection = std::move(connection);
  if (self.connection) self.connection->Attach(&self);
}

void SetAttribute(LateBound& self, const std::string& name, py::handle value) {
  Object& object = Live(self);
  const ClassInfo& info = object.info();
  if (SameIgnoringCase(name, "Connection") && info.set_connection)
    return SetConnection(self, value);
  const PropertyInfo* p = info.FindProperty(name);
  if (!p) {
    if (info.FindMethod(name))
      Raise(PyExc_AttributeError, Member(info, name) + " is a method, not a property");
    Raise(PyExc_AttributeError, info.progid + " has no property " + name);
  }
  if (!p->put) Raise(PyExc_AttributeError, "property " + Member(info, p->name) + " is read only");
  Variant v;
  try {
    v = FromPython(value);
  } catch (const ConversionError& e) {
    Raise(PyExc_TypeError, "property " + Member(info, p->name) + ": " + e.what);
  }
  GuardScope scope(GuardOf(self), GuardWhat(self), GuardName(self));
  try {
    p->put(object.impl(), v);
  } catch (const HostError& e) {
    Raise(PyExc_TypeError, "property " + Member(info, p->name) + ": " + e.what());
  }
}

// Reached only when the name is not an attribute of the type as spelled:
// another letter case, or no member at all.
py::object GetAttribute(py::object self_object, const std::string& name) {
  LateBound& self = self_object.cast<LateBound&>();
  const ClassInfo& info = Live(self).info();
  if (const MethodInfo* m = info.FindMethod(name)) return self_object.attr(m->name.c_str());
  if (const PropertyInfo* p = info.FindProperty(name)) return GetProperty(self, *p);
  if (SameIgnoringCase(name, "Connection") && info.set_connection) {
    return self.connection ? py::cast(self.connection) : py::none();
  }
  Raise(PyExc_AttributeError, info.progid + " has no method or property " + name);
}

std::string MethodDoc(const ClassInfo& info, const MethodInfo& m) {
  // The first lines give Python the signature that help() shows.
  std::string doc = m.name + "(self";
  for (const auto& p : m.params) doc += ", " + p.name + (p.optional ? OmittedValue(p.kind) : "");
  doc += ")\n--\n\n" + Member(info, m.name) + "\n\nArguments:\n";
  if (m.params.empty()) doc += "  (none)\n";
  for (const auto& p : m.params) {
    doc += "  " + p.name + ": " + KindName(p.kind) + (p.optional ? ", optional" : "") + "\n";
  }
  doc +=
      "\nOptional arguments may be left off. Failures are not raised: they are appended to the "
      "object's Errors.";
  return doc;
}

py::object MakeType(py::handle base, const ClassInfo& info) {
  std::string doc = info.progid + ": a late-bound object (ptolix.create(\"" + info.name +
                    "\", connection)). Members, letter case ignored on lookup:\n\nMethods:\n";
  for (const auto& m : info.methods) {
    doc += "  " + m.name + "(";
    for (size_t i = 0; i < m.params.size(); ++i) {
      doc += (i ? ", " : "") + m.params[i].name + (m.params[i].optional ? "?" : "");
    }
    doc += ")\n";
  }
  doc += "\nProperties:\n";
  if (info.set_connection) doc += "  Connection (ptolix.Connection)\n";
  for (const auto& p : info.properties) {
    doc += "  " + p.name + (p.put ? "" : " (read only)") + "\n";
  }
  py::dict attributes;
  attributes["__module__"] = "ptolix";
  attributes["__doc__"] = doc;
  attributes["__slots__"] = py::tuple();
  py::object type = py::reinterpret_borrow<py::object>(reinterpret_cast<PyObject*>(&PyType_Type))(
      info.name, py::make_tuple(base), attributes);

  for (const auto& m : info.methods) {
    const MethodInfo* mp = &m;
    const ClassInfo* ip = &info;
    std::string method_doc = MethodDoc(info, m);
    py::cpp_function fn(
        [ip, mp](LateBound& self, const py::args& args, const py::kwargs& kwargs) {
          return CallMethod(self, *ip, *mp, args, kwargs);
        },
        py::name(m.name.c_str()), py::is_method(type), py::doc(method_doc.c_str()));
    type.attr(m.name.c_str()) = fn;
  }
  py::object property = py::module_::import("builtins").attr("property");
  for (const auto& p : info.properties) {
    const PropertyInfo* pp = &p;
    py::cpp_function getter([pp](LateBound& self) { return GetProperty(self, *pp); },
                            py::name(p.name.c_str()));
    std::string property_doc = Member(info, p.name) + (p.put ? "" : " (read only)");
    type.attr(p.name.c_str()) = property(getter, py::none(), py::none(), property_doc);
  }
  if (info.set_connection) {
    py::cpp_function getter(
        [](LateBound& self) { return self.connection ? py::cast(self.connection) : py::none(); },
        py::name("Connection"));
    type.attr("Connection") =
        property(getter, py::none(), py::none(),
                 "The ptolix.Connection the object works on (None until set).");
  }
  return type;
}

}  // namespace

LateBound::~LateBound() {
  if (connection) connection->Detach(this);
}

void BindObjects(py::module_& m) {
  py::class_<LateBound> base(
      m, "Object",
      "The base of every ptolix object; ptolix.create(progid, connection) makes them.");
  base.def(py::init<>())
      .def("__getattr__", &GetAttribute, py::arg("name"))
      .def("__setattr__", &SetAttribute, py::arg("name"), py::arg("value"))
      .def("__dir__",
           [](LateBound& self) {
             const ClassInfo& info = Live(self).info();
             py::list names;
             for (const auto& method : info.methods) names.append(method.name);
             if (info.set_connection) names.append("Connection");
             for (const auto& p : info.properties) names.append(p.name);
             names.attr("sort")();
             return names;
           })
      .def("__repr__", [](LateBound& self) {
        if (!self.object) return std::string("<ptolix object>");
        return "<" + self.object->info().progid + " object" +
               (self.connection ? " on " + self.connection->label() : std::string()) + ">";
      });

  {
    // Each method's doc carries its own signature line.
    py::options options;
    options.disable_function_signatures();
    for (const ClassInfo* info : GlobalRegistry().Classes()) {
      py::object type = MakeType(base, *info);
      type.inc_ref();  // lives as long as the interpreter
      Types()[info] = type;
    }
  }

  m.def(
      "create",
      [](const std::string& progid, std::shared_ptr<PyConnection> connection) {
        return Create(progid, std::move(connection));
      },
      py::arg("progid"), py::arg("connection") = py::none(),
      "Creates an object by program identifier ('Corvane_Ptolix.User') or class name ('User'), "
      "letter case ignored, and hands it the connection when one is given (About takes none). "
      "Raises AttributeError "
      "for an unknown class.");
  m.def(
      "classes",
      [] {
        std::vector<std::string> out;
        for (const ClassInfo* info : GlobalRegistry().Classes()) out.push_back(info->progid);
        return out;
      },
      "The program identifiers of the creatable classes.");

  // For python/bench_module.py: the same late-bound call made `number` times
  // from C++ (no Python between the calls), and the conversion of its result
  // to Python alone, each in nanoseconds per repetition.
  m.def(
      "_bench_native",
      [](LateBound& self, const std::string& method, const py::list& arguments, int number) {
        Object& object = Live(self);
        Args args;
        for (auto a : arguments) args.push_back(FromPython(a));
        GuardScope scope(GuardOf(self), GuardWhat(self), GuardName(self));
        using Clock = std::chrono::steady_clock;
        Variant result;
        auto start = Clock::now();
        {
          py::gil_scoped_release unlocked;
          for (int i = 0; i < number; ++i) result = object.Call(method, args);
        }
        double call_ns =
            std::chrono::duration<double, std::nano>(Clock::now() - start).count() / number;
        start = Clock::now();
        for (int i = 0; i < number; ++i) ToPython(result);
        double convert_ns =
            std::chrono::duration<double, std::nano>(Clock::now() - start).count() / number;
        return py::make_tuple(call_ns, convert_ns);
      },
      py::arg("obj"), py::arg("method"), py::arg("args"), py::arg("number"));
}

py::object Create(const std::string& progid, std::shared_ptr<PyConnection> connection) {
  const Registry& registry = GlobalRegistry();
  const ClassInfo* info = registry.Find(progid);
  if (!info) info = registry.Find(std::string(kProgidPrefix) + progid);
  if (!info)
    Raise(PyExc_AttributeError, "ptolix: no class " + progid + " (ptolix.classes() lists them)");
  py::object instance = Types().at(info)();
  LateBound& self = instance.cast<LateBound&>();
  self.object = std::make_unique<Object>(*info, info->create());
  if (connection) {
    if (!info->set_connection)
      Raise(PyExc_AttributeError, info->progid + " has no property Connection");
    SetConnection(self, py::cast(connection));
  }
  return instance;
}

}  // namespace ptolix::python

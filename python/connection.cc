// ptolix.connect and ptolix.Connection, and the guard that keeps a connection
// to one thread at a time.

#include <algorithm>
#include <thread>

#include "binding.h"
#include "ptolix/connect.h"
#include "ptolix/db/error.h"
#include "ptolix/schema/schema.h"

namespace ptolix::python {

namespace {

uint64_t ThisThread() {
  static std::atomic<uint64_t> next{1};
  thread_local uint64_t id = next.fetch_add(1);
  return id;
}

// The URL as messages show it: a password never appears.
std::string Label(std::string_view url) {
  std::string out(url);
  size_t scheme = out.find("://");
  if (scheme == std::string::npos) return out;
  size_t at = out.find('@', scheme + 3);
  if (at == std::string::npos) return out;
  size_t colon = out.find(':', scheme + 3);
  if (colon != std::string::npos && colon < at) out.replace(colon + 1, at - colon - 1, "***");
  return out;
}

std::shared_ptr<PyConnection> Connect(const std::string& url) {
  std::shared_ptr<db::Connection> conn;
  try {
    py::gil_scoped_release unlocked;
    conn = ptolix::Connect(url);
  } catch (const db::Error& e) {
    Raise(DatabaseErrorType(), "ptolix: cannot open " + Label(url) + ": " + e.description());
  }
  return std::make_shared<PyConnection>(std::move(conn), Label(url));
}

// Runs `fn` on the open connection, holding its guard, with the interpreter
// free for other threads.
template <class F>
auto Run(PyConnection& self, F fn) {
  GuardScope scope(self.guard(), "connection", self.label());
  db::Connection& conn = *self.Open();
  try {
    py::gil_scoped_release unlocked;
    return fn(conn);
  } catch (const db::Error& e) {
    Raise(DatabaseErrorType(), "ptolix: " + self.label() + ": " + e.description());
  }
}

}  // namespace

GuardScope::GuardScope(OwnerGuard& guard, const char* what, const std::string& name)
    : guard_(guard) {
  uint64_t me = ThisThread();
  uint64_t expected = 0;
  if (!guard.owner_.compare_exchange_strong(expected, me, std::memory_order_acquire) &&
      expected != me) {
    Raise(PyExc_RuntimeError,
          std::string("ptolix: ") + what + " " + name +
              " is in use by another thread (a connection and the objects holding it "
              "belong to one thread at a time: open one connection per thread)");
  }
  ++guard.depth_;
}

GuardScope::~GuardScope() {
  if (--guard_.depth_ == 0) guard_.Release();
}

const std::shared_ptr<db::Connection>& PyConnection::Open() const {
  if (!conn_) Raise(DatabaseErrorType(), "ptolix: connection " + label_ + " is closed");
  return conn_;
}

void PyConnection::Detach(LateBound* object) {
  users_.erase(std::remove(users_.begin(), users_.end(), object), users_.end());
}

void PyConnection::Close() {
  GuardScope scope(guard_, "connection", label_);
  for (LateBound* user : users_) user->object->PutConnection(nullptr);
  // The objects keep their Python connection, which now reports itself
  // closed; the database connection goes with the last reference.
  py::gil_scoped_release unlocked;
  conn_.reset();
}

void BindConnection(py::module_& m) {
  py::class_<PyConnection, std::shared_ptr<PyConnection>>(
      m, "Connection",
      "An open database connection (ptolix.connect). A context manager: leaving the with block "
      "closes it. It belongs to one thread at a time, together with the objects holding it.")
      .def(
          "create_schema",
          [](PyConnection& self) { Run(self, [](db::Connection& c) { schema::CreateSchema(c); }); },
          "Creates the tables, indexes and standard rows; running it again changes nothing.")
      .def(
          "execute",
          [](PyConnection& self, const std::string& sql) -> py::object {
            db::StatementResult result =
                Run(self, [&](db::Connection& c) { return c.RunStatement(sql); });
            if (result.is_query) return ToPython(result.rows);
            return py::int_(result.changed);
          },
          py::arg("sql"),
          "Runs one statement of administration, written as the library writes its own (rewritten "
          "for the engine), outside the trace. A query gives its rows as a list of lists, row 0 "
          "holding the field names; any other statement gives the number of rows changed. Raises "
          "ptolix.DatabaseError when the database refuses it.")
      .def(
          "trace",
          [](PyConnection& self, bool on) {
            Run(self, [&](db::Connection& c) { c.SetTrace(on); });
          },
          py::arg("on") = true,
          "Starts (or with False stops) recording every statement the library runs on this "
          "connection.")
      .def(
          "take_trace",
          [](PyConnection& self) {
            return Run(self, [](db::Connection& c) { return c.TakeTrace(); });
          },
          "The statements recorded since the last call, as the library wrote them, and clears the "
          "record.")
      .def("close", &PyConnection::Close,
           "Closes the connection. Objects holding it raise ptolix.DatabaseError from then on. "
           "Closing "
           "twice does nothing.")
      .def_property_readonly("closed", &PyConnection::closed, "True once close() was called.")
      .def_property_readonly("url", &PyConnection::label,
                             "The URL it was opened with, without a password.")
      .def("__enter__", [](std::shared_ptr<PyConnection> self) { return self; })
      .def("__exit__", [](PyConnection& self, py::args) { self.Close(); })
      .def("__repr__", [](PyConnection& self) {
        return "<ptolix.Connection " + self.label() + (self.closed() ? " (closed)>" : ">");
      });

  m.def("connect", &Connect, py::arg("url"),
        "Opens a connection: 'sqlite:PATH' (created when missing), 'sqlite::memory:' or "
        "'postgresql://user@host:port/database'. Raises ptolix.DatabaseError when it cannot be "
        "opened.");
}

}  // namespace ptolix::python

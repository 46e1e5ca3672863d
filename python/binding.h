#pragma once

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ptolix/db/connection.h"
#include "ptolix/frame/registry.h"
#include "ptolix/frame/variant.h"

namespace ptolix::python {

namespace py = pybind11;

// --- values.cc: Variant <-> Python --------------------------------------

// Prepares the conversions (datetime C API, the Empty singleton); called once
// from the module's initialisation.
void InitValues(py::module_& m);
// The ptolix.Empty singleton.
py::handle EmptyValue();
// Python to Variant: str, int, float, bool, None (Null), Empty, datetime
// (date alone at midnight), lists and tuples of these. Throws
// ConversionError naming what could not be converted.
Variant FromPython(py::handle value);
// Variant to Python: Null is None, Empty is ptolix.Empty, an unallocated
// result array None, an allocated one a list of rows, row 0 the names.
py::object ToPython(const Variant& value);
py::object ToPython(const ResultArray& rows);

struct ConversionError {
  std::string what;  // "cannot convert dict to a value"
};

// --- errors --------------------------------------------------------------

// ptolix.DatabaseError: a connection that cannot be opened, a statement of
// execute() the database refused.
py::handle DatabaseErrorType();
[[noreturn]] void Raise(py::handle type, const std::string& message);

// --- connection.cc --------------------------------------------------------

class LateBound;

// A connection belongs to one thread at a time. Every call through the module
// holds the guard of the connection it runs on (or of the object itself when
// it has none), so a second thread is refused instead of sharing the
// connection's state.
class OwnerGuard {
 public:
  void Release() { owner_.store(0, std::memory_order_release); }

 private:
  std::atomic<uint64_t> owner_{0};
  int depth_ = 0;  // touched only by the owner
  friend class GuardScope;
};

// Holds a guard for the calling thread; raises RuntimeError naming `what`
// and `name` when another thread holds it.
class GuardScope {
 public:
  GuardScope(OwnerGuard& guard, const char* what, const std::string& name);
  ~GuardScope();
  GuardScope(const GuardScope&) = delete;
  GuardScope& operator=(const GuardScope&) = delete;

 private:
  OwnerGuard& guard_;
};

// ptolix.Connection.
class PyConnection {
 public:
  PyConnection(std::shared_ptr<db::Connection> conn, std::string label)
      : conn_(std::move(conn)), label_(std::move(label)) {}

  const std::string& label() const { return label_; }
  bool closed() const { return !conn_; }
  // The open connection; raises DatabaseError when closed.
  const std::shared_ptr<db::Connection>& Open() const;
  OwnerGuard& guard() { return guard_; }

  void Attach(LateBound* object) { users_.push_back(object); }
  void Detach(LateBound* object);
  // Detaches every object and lets the database connection go.
  void Close();

 private:
  std::shared_ptr<db::Connection> conn_;
  std::string label_;  // the URL without its password
  OwnerGuard guard_;
  std::vector<LateBound*> users_;  // objects holding this connection
};

void BindConnection(py::module_& m);
// ptolix.CONNECTION_LOST, STATEMENT_REFUSED, NO_RECORDS, ErrorLine and
// error_lines (errors.cc).
void BindErrors(py::module_& m);

// --- object.cc: late-bound objects ----------------------------------------

// The state behind every ptolix object: the registry's Object and the Python
// connection it was handed.
class LateBound {
 public:
  LateBound() = default;
  ~LateBound();
  LateBound(const LateBound&) = delete;
  LateBound& operator=(const LateBound&) = delete;

  std::unique_ptr<Object> object;
  std::shared_ptr<PyConnection> connection;
  OwnerGuard own_guard;  // used while no connection is set
};

void BindObjects(py::module_& m);
// ptolix.create(progid, connection=None).
py::object Create(const std::string& progid, std::shared_ptr<PyConnection> connection);

}  // namespace ptolix::python

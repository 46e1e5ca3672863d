#pragma once

#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "ptolix/db/connection.h"
#include "ptolix/frame/frame.h"
#include "ptolix/value/variant.h"

namespace ptolix {

// A request the host cannot carry out: unknown program identifier, method or
// property, a wrong argument count, an argument that cannot be converted.
// A page script would have stopped there; it is never an Errors line.
class HostError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class ParamKind { kString, kLong, kInteger, kBoolean, kVariant };

struct ParamInfo {
  std::string name;
  ParamKind kind;
  bool optional;
};

using Args = std::vector<Variant>;

struct MethodInfo {
  std::string name;
  std::vector<ParamInfo> params;
  // Receives exactly params.size() arguments, omitted optional ones Empty.
  std::function<Variant(Dispatchable&, Args&)> invoke;

  // How many arguments a call gives at least: every one up to the last
  // that is not optional.
  size_t RequiredArgs() const;
  // How many arguments a call may give, as messages say it: "2", "1 to 3".
  std::string ArgCountText() const;
  // The parameter called `name` (letter case ignored): its index, or
  // params.size() when there is none.
  size_t ParamIndex(std::string_view name) const;
};

struct PropertyInfo {
  std::string name;
  std::function<Variant(Dispatchable&)> get;               // null: write only
  std::function<void(Dispatchable&, const Variant&)> put;  // null: read only
};

// Every program identifier is this prefix and the class name ("Role").
inline constexpr std::string_view kProgidPrefix = "Corvane_Ptolix.";

// One creatable class: identity, factory and members by name.
struct ClassInfo {
  std::string progid;  // "Corvane_Ptolix.Role"
  std::string name;    // "Role"
  std::string clsid;
  std::string iid;
  std::function<std::unique_ptr<Dispatchable>()> create;
  // Sets the Connection property; null for classes without a connection.
  std::function<void(Dispatchable&, std::shared_ptr<db::Connection>)> set_connection;
  std::vector<MethodInfo> methods;
  std::vector<PropertyInfo> properties;

  const MethodInfo* FindMethod(std::string_view name) const;      // case ignored
  const PropertyInfo* FindProperty(std::string_view name) const;  // case ignored
};

// A late-bound object: what a page script holds.
class Object {
 public:
  Object(const ClassInfo& info, std::unique_ptr<Dispatchable> impl)
      : info_(&info), impl_(std::move(impl)) {}
  const ClassInfo& info() const { return *info_; }
  Dispatchable& impl() { return *impl_; }

  // Members by name, letter case ignored. Throw HostError.
  Variant Get(std::string_view property);
  void Put(std::string_view property, const Variant& value);
  void PutConnection(std::shared_ptr<db::Connection> connection);
  // Missing optional arguments may be left off the end; Empty arguments
  // in optional positions count as omitted.
  Variant Call(std::string_view method, Args args);

 private:
  const ClassInfo* info_;
  std::unique_ptr<Dispatchable> impl_;
};

// The table of creatable classes.
class Registry {
 public:
  void Add(ClassInfo info);
  const ClassInfo* Find(std::string_view progid) const;  // case ignored
  // Throws HostError for an unknown program identifier.
  std::unique_ptr<Object> CreateObject(std::string_view progid) const;
  std::vector<const ClassInfo*> Classes() const;

 private:
  std::map<std::string, ClassInfo> classes_;  // key: lower-case progid
};

// The registry holding every class of the library, filled once (defined at
// the library's top level, src/register_all.cc, above every folder).
const Registry& GlobalRegistry();
// Adds every class of the library to `registry`.
void RegisterAll(Registry& registry);

// Argument conversions of late binding; throw HostError.
std::string ArgToString(const Variant& v, std::string_view name);
int32_t ArgToLong(const Variant& v, std::string_view name);
int16_t ArgToInteger(const Variant& v, std::string_view name);
bool ArgToBool(const Variant& v, std::string_view name);

}  // namespace ptolix

#include "ptolix/frame/registry.h"

#include "ptolix/value/errors.h"
#include "ptolix/value/text_case.h"
#include "value/sql_text.h"

namespace ptolix {

namespace {

[[noreturn]] void CannotConvert(const Variant& v, std::string_view name, const char* to) {
  throw HostError("argument " + std::string(name) + ": cannot convert " + ToDisplay(v) + " to " +
                  to);
}

}  // namespace

std::string ArgToString(const Variant& v, std::string_view name) {
  switch (v.kind()) {
    case Variant::Kind::kNull:
      throw HostError("argument " + std::string(name) + ": invalid use of Null");
    case Variant::Kind::kArray:
    case Variant::Kind::kList:
      CannotConvert(v, name, "text");
    default:
      return v.ToText();
  }
}

int32_t ArgToLong(const Variant& v, std::string_view name) {
  try {
    return v.ToLong();
  } catch (const Failure& f) {
    throw HostError("argument " + std::string(name) + ": " + f.description());
  }
}

int16_t ArgToInteger(const Variant& v, std::string_view name) {
  int32_t n = ArgToLong(v, name);
  if (n < INT16_MIN || n > INT16_MAX)
    throw HostError("argument " + std::string(name) + ": Overflow");
  return static_cast<int16_t>(n);
}

bool ArgToBool(const Variant& v, std::string_view name) {
  if (v.kind() == Variant::Kind::kBoolean) return v.AsBool();
  if (v.kind() == Variant::Kind::kString) {
    if (SameIgnoringCase(v.AsString(), "true")) return true;
    if (SameIgnoringCase(v.AsString(), "false")) return false;
  }
  return ArgToLong(v, name) != 0;
}

const MethodInfo* ClassInfo::FindMethod(std::string_view name) const {
  for (const auto& m : methods) {
    if (SameIgnoringCase(m.name, name)) return &m;
  }
  return nullptr;
}

const PropertyInfo* ClassInfo::FindProperty(std::string_view name) const {
  for (const auto& p : properties) {
    if (SameIgnoringCase(p.name, name)) return &p;
  }
  return nullptr;
}

Variant Object::Get(std::string_view property) {
  const PropertyInfo* p = info_->FindProperty(property);
  if (!p) {
    if (SameIgnoringCase(property, "Connection") && info_->set_connection) {
      throw HostError("property Connection of " + info_->progid + " is write only");
    }
    throw HostError(info_->progid + " has no property " + std::string(property));
  }
  if (!p->get) throw HostError("property " + p->name + " of " + info_->progid + " is write only");
  return p->get(*impl_);
}

void Object::Put(std::string_view property, const Variant& value) {
  const PropertyInfo* p = info_->FindProperty(property);
  if (!p) throw HostError(info_->progid + " has no property " + std::string(property));
  if (!p->put) throw HostError("property " + p->name + " of " + info_->progid + " is read only");
  p->put(*impl_, value);
}

void Object::PutConnection(std::shared_ptr<db::Connection> connection) {
  if (!info_->set_connection) throw HostError(info_->progid + " has no property Connection");
  info_->set_connection(*impl_, std::move(connection));
}

Variant Object::Call(std::string_view method, Args args) {
  const MethodInfo* m = info_->FindMethod(method);
  if (!m) {
    if (info_->FindProperty(method) && args.empty()) return Get(method);
    throw HostError(info_->progid + " has no method " + std::string(method));
  }
  if (args.size() < m->RequiredArgs() || args.size() > m->params.size()) {
    throw HostError("wrong number of arguments for " + m->name + ": " +
                    std::to_string(args.size()) + " given, " + m->ArgCountText() + " expected");
  }
  args.resize(m->params.size());  // omitted optional arguments arrive Empty
  return m->invoke(*impl_, args);
}

size_t MethodInfo::RequiredArgs() const {
  size_t required = 0;
  for (size_t i = 0; i < params.size(); ++i) {
    if (!params[i].optional) required = i + 1;
  }
  return required;
}

std::string MethodInfo::ArgCountText() const {
  size_t required = RequiredArgs();
  if (required == params.size()) return std::to_string(required);
  return std::to_string(required) + " to " + std::to_string(params.size());
}

size_t MethodInfo::ParamIndex(std::string_view name) const {
  size_t i = 0;
  while (i < params.size() && !SameIgnoringCase(params[i].name, name)) ++i;
  return i;
}

void Registry::Add(ClassInfo info) {
  std::string key = FoldCase(info.progid);
  classes_[key] = std::move(info);
}

const ClassInfo* Registry::Find(std::string_view progid) const {
  auto it = classes_.find(FoldCase(progid));
  return it == classes_.end() ? nullptr : &it->second;
}

std::unique_ptr<Object> Registry::CreateObject(std::string_view progid) const {
  const ClassInfo* info = Find(progid);
  if (!info) throw HostError("unknown program identifier " + std::string(progid));
  return std::make_unique<Object>(*info, info->create());
}

std::vector<const ClassInfo*> Registry::Classes() const {
  std::vector<const ClassInfo*> out;
  for (const auto& [key, info] : classes_) out.push_back(&info);
  return out;
}

}  // namespace ptolix

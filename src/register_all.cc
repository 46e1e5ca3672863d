// The library's top level: the one place that knows every class.

#include "content/class_tables.h"
#include "frame/class_tables.h"
#include "org/class_tables.h"
#include "ptolix/frame/registry.h"
#include "records/class_tables.h"
#include "site/class_tables.h"

namespace ptolix {

void RegisterAll(Registry& registry) {
  for (auto make : {AboutClass, SystemClass, RoleClass, UserClass, ColumnClass, InformationClass,
                    EncodeClass, StyleClass, PageClass, WebSiteClass, UploadClass, LinkClass}) {
    registry.Add(make());
  }
}

const Registry& GlobalRegistry() {
  static const Registry registry = [] {
    Registry r;
    RegisterAll(r);
    return r;
  }();
  return registry;
}

}  // namespace ptolix

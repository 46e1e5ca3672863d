#include "frame/class_builder.h"
#include "frame/class_tables.h"
#include "ptolix/frame/system.h"

namespace ptolix {

ClassInfo SystemClass() {
  return ClassBuilder<System>("System", "{FA935CB8-A7AC-47BB-A2C2-50C61FF2241E}",
                              "{2EACF78A-446B-4CE2-A5C8-6D9A68264BB5}")
      .Frame()
      .Method("GetParameter", &System::GetParameter, {"pParaName"})
      .Method("GetParameterList", &System::GetParameterList, {"pCurPage?"})
      .Method("AppendParameter", &System::AppendParameter, {"pName", "pValue", "pDescription"})
      .Method("ModifyParameter", &System::ModifyParameter,
              {"pName", "pNewName", "pValue", "pDescription"})
      .Method("DeleteParameter", &System::DeleteParameter, {"pName"})
      .Method("GetSystem", &System::GetSystem, {"pID"})
      .Method("GetSystemList", &System::GetSystemList, {"pCurPage?"})
      .Method("AppendSystem", &System::AppendSystem, {"pName", "pDescription"})
      .Method("ModifySystem", &System::ModifySystem, {"pID", "pName", "pDescription"})
      .Method("DeleteSystem", &System::DeleteSystem, {"pID"})
      .Method("GetID", &System::GetID)
      .Build();
}

}  // namespace ptolix

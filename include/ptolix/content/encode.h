#pragma once

#include <string_view>

#include "ptolix/frame/frame.h"

namespace ptolix {

// The code dictionaries other tables refer to by identifier: information
// states (review states, 1 to 6 have fixed meanings), information types,
// access types (greater is stronger) and website types. Plain maintenance;
// lists return every row in the database's order and are never paged.
//
// Identifiers are checked before any statement runs: anything but digits
// with an optional sign records a Type mismatch line. The first three
// dictionaries number their rows themselves; website types take their
// identifier from the caller, and it may not be empty.
class Encode : public ConnectedObject {
 public:
  void AppendInfoState(std::string_view pName, std::string_view pDescription) noexcept;
  void ModifyInfoState(std::string_view pID, std::string_view pName,
                       std::string_view pDescription) noexcept;
  void DeleteInfoState(std::string_view pID) noexcept;
  // A missing state records "信息状态不存在。" and returns an unallocated array.
  ResultArray GetInfoState(std::string_view pID) noexcept;
  ResultArray GetInfStateList() noexcept;

  void AppendInfoType(std::string_view pName, std::string_view pDescription) noexcept;
  void ModifyInfoType(std::string_view pID, std::string_view pName,
                      std::string_view pDescription) noexcept;
  void DeleteInfoType(std::string_view pID) noexcept;
  ResultArray GetInfTypeList() noexcept;

  void AppendAccessType(std::string_view pName, std::string_view pDescription) noexcept;
  void ModifyAccessType(std::string_view pID, std::string_view pName,
                        std::string_view pDescription) noexcept;
  void DeleteAccessType(std::string_view pID) noexcept;
  ResultArray GetAccessTypeList() noexcept;

  void AppendWebSiteType(std::string_view pID, std::string_view pName) noexcept;
  // Finds the type by pID and may give it the identifier pNewID.
  void ModifyWebSiteType(std::string_view pID, std::string_view pNewID,
                         std::string_view pName) noexcept;
  void DeleteWebSiteType(std::string_view pID) noexcept;
  // A missing type records "网站类型不存在。" and returns an unallocated array.
  ResultArray GetWebSiteType(std::string_view pID) noexcept;
  ResultArray GetWebSiteTypeList() noexcept;

 private:
  // The three numbered dictionaries share one shape: table, column prefix.
  void Append(std::string_view table, std::string_view prefix, std::string_view pName,
              std::string_view pDescription) noexcept;
  void Modify(std::string_view table, std::string_view prefix, std::string_view pID,
              std::string_view pName, std::string_view pDescription) noexcept;
  void Delete(std::string_view table, std::string_view prefix, std::string_view pID) noexcept;
  ResultArray List(std::string_view table) noexcept;
};

}  // namespace ptolix

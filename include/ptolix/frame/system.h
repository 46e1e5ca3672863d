#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "ptolix/frame/frame.h"

namespace ptolix {

// System parameters (named configuration values such as SITE_PHYSICAL_ROOT)
// and systems (the content sub-systems that columns, styles and pages belong
// to), plus new identifier texts.
class System : public FrameObject {
 public:
  // The parameter's row (Para_Value in column 1); a missing name records
  // "不存在系统参数'<name>'。" and returns an unallocated array.
  ResultArray GetParameter(std::string_view pParaName) noexcept;
  ResultArray GetParameterList(int32_t pCurPage = 0) noexcept;
  void AppendParameter(std::string_view pName, std::string_view pValue,
                       std::string_view pDescription) noexcept;
  // Finds the parameter by pName and may rename it to pNewName.
  void ModifyParameter(std::string_view pName, std::string_view pNewName, std::string_view pValue,
                       std::string_view pDescription) noexcept;
  void DeleteParameter(std::string_view pName) noexcept;

  // The system's row; an identifier without a row is a failure.
  ResultArray GetSystem(std::string_view pID) noexcept;
  ResultArray GetSystemList(int32_t pCurPage = 0) noexcept;
  void AppendSystem(std::string_view pName, std::string_view pDescription) noexcept;
  void ModifySystem(int32_t pID, std::string_view pName, std::string_view pDescription) noexcept;
  void DeleteSystem(std::string_view pID) noexcept;

  // 32 upper-case hexadecimal digits of a new random identifier; empty text
  // when none can be had.
  std::string GetID() noexcept;
};

// The value of system parameter `name` (null reads as empty text); nothing
// when there is no connection, no such parameter, or it cannot be read.
std::optional<std::string> SystemParameter(const std::shared_ptr<db::Connection>& connection,
                                           std::string_view name) noexcept;

// The identifier text of GetID.
std::string NewGuidString();

}  // namespace ptolix

#pragma once

#include <cstdint>
#include <string_view>

#include "ptolix/frame/frame.h"

namespace ptolix {

// Link classes (named groups of links, with a Chinese and an English name)
// and the links in them. Links are numbered 1, 2, 3, ... within their class
// by the code counter of (tLink_Detail, Link_ID, class), and carry a
// 6-character order code made from that number so that a class lists its
// newest link first.
//
// Identifiers and numbers are checked before any statement runs: anything
// but digits with an optional sign records a Type mismatch line. End dates
// are parsed (YYYY-MM-DD, YYYY/M/D, optional HH:MM[:SS]) and stored as
// "YYYY-MM-DD HH:MM:SS"; empty text stores null.
class Link : public FrameObject {
 public:
  void AppendLinkClass(std::string_view pNameCh, std::string_view pNameEn) noexcept;
  void ModifyLinkClass(std::string_view pID, std::string_view pNameCh,
                       std::string_view pNameEn) noexcept;
  // Deletes the class row only: its links and its counter stay.
  void DeleteLinkClass(std::string_view pID) noexcept;
  // A missing class records "链接分类不存在。" and returns an unallocated array.
  ResultArray GetLinkClass(std::string_view pID) noexcept;
  // Every class, never paged: RecordCount and PageCount stay as they were.
  ResultArray GetLinkClassList() noexcept;

  // Takes the class's next number and inserts the link with it. When no
  // number can be had (an empty or unknown-form class, no connection) the
  // counter's failure line is recorded and no link is added; a link that
  // cannot be stored gives its number back. A class holds at most 983039
  // links (the numbers with 6-character codes); beyond that the add fails
  // with Overflow.
  void AppendLink(std::string_view pClassID, std::string_view pTitle, std::string_view pDescription,
                  std::string_view pUrl, std::string_view pImage, std::string_view pWidth,
                  std::string_view pHeight, std::string_view pEndDate) noexcept;
  // Rewrites the link's fields; its class, number and order code never change.
  void ModifyLink(std::string_view pClassID, std::string_view pID, std::string_view pTitle,
                  std::string_view pDescription, std::string_view pUrl, std::string_view pImage,
                  std::string_view pWidth, std::string_view pHeight,
                  std::string_view pEndDate) noexcept;
  void DeleteLink(std::string_view pClassID, std::string_view pID) noexcept;
  // A missing link records "链接分类'<class>'下不存在链接'<number>'。".
  ResultArray GetLink(std::string_view pClassID, std::string_view pID) noexcept;
  // The class's links, newest first; paged when PageSize is above 0.
  ResultArray GetClassLinkList(std::string_view pClassID, std::string_view pCurPage = {}) noexcept;
  // Every link of every class in the database's order; paged when PageSize
  // is above 0.
  ResultArray GetLinkList(int32_t pCurPage = 0) noexcept;
};

}  // namespace ptolix

#include "ptolix/records/upload.h"

#include <gtest/gtest.h>

#include "fixture.h"

namespace ptolix {
namespace {

class UploadTest : public test::DbTest {};

TEST_P(UploadTest, RecordsGetIncreasingIdentifiersAndTheirNames) {
  auto up = New("upload");
  std::string first = up->Call("RecordUploadFile", {"alice", "logo"}).AsString();
  std::string second = up->Call("RecordUploadFile", {"bob", ""}).AsString();
  std::string third = up->Call("RecordUploadFile", {"", ""}).AsString();
  ASSERT_FALSE(first.empty());
  EXPECT_LT(std::stol(first), std::stol(second));
  EXPECT_LT(std::stol(second), std::stol(third));

  up->Call("RecordUploadFileName", {first, "it's a.jpg"});
  up->Call("RecordUploadFileName", {second, "b.jpg"});
  up->Call("RecordUploadFileName", {second, ""});      // an empty name stores null
  up->Call("RecordUploadFileName", {"", "lost.jpg"});  // null identifier: nothing changes
  up->Call("RecordUploadFileName", {"999", "lost.jpg"});
  EXPECT_EQ(Rows("select * from tPtlx_Upload order by UploadFile_ID"),
            "UploadFile_ID|Usr_ID|UploadFile_UseFor|UploadFile_Name\n" + first +
                "|alice|logo|it's a.jpg\n" + second + "|bob|Null|Null\n" + third +
                "|Null|Null|Null\n");
  EXPECT_EQ(up->Get("Errors"), Variant(""));
  Trace();
  up->Call("RecordUploadFileName", {"1 or 1=1", "x.jpg"});
  EXPECT_TRUE(Trace().empty());
  EXPECT_EQ(test::ErrorsOf(*up), test::Lines{"[13] Type mismatch: sID '1 or 1=1'"});
}

PTOLIX_BACKENDS(UploadTest);

}  // namespace
}  // namespace ptolix

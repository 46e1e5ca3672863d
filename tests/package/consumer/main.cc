#include <iostream>

#include "ptolix/ptolix.h"

int main() {
  auto conn = ptolix::Connect("sqlite:site.db");
  ptolix::schema::CreateSchema(*conn);

  // Late bound, as a page script does it.
  auto sys = ptolix::GlobalRegistry().CreateObject("Corvane_Ptolix.System");
  sys->PutConnection(conn);
  sys->Put("PageSize", 20);
  sys->Call("AppendParameter", {"TEMPLET_PATH", "templates", "template folder"});
  ptolix::Variant page = sys->Call("GetParameterList", {1});
  std::cout << page.AsArray().ToString();  // row 0 names, then the rows
  sys->Call("GetParameter", {"NO_SUCH"});
  std::cout << sys->Get("Errors").AsString();  // "... - [Ptolix] 不存在系统参数'NO_SUCH'。"

  // Or directly through the class.
  ptolix::System direct;
  direct.SetConnection(conn);
  ptolix::ResultArray row = direct.GetParameter("TEMPLET_PATH");
  std::cout << ptolix::ToDisplay(row.At(1, 1)) << "\n";  // templates
}

// The merge output follows the rules of every file replacement
// (tests/harvest/replacement_cases.h), and a refused output is refused
// before any selected file is read.

#include "../harvest/replacement_cases.h"
#include "../harvest/temp_dir.h"
#include "fake_collation.h"
#include "tools/merge_data_files.h"

namespace tools {
namespace {

TEST(MergeOutputFile, KeepsModeOwnerAndLinksAndRefusesWhatTheUserMayNotWrite) {
  TempDir inputs;
  // Readable by the unprivileged child too.
  std::filesystem::permissions(inputs.Path(), std::filesystem::perms(0755));
  const harvest::FilePath input = inputs.Write("in.txt", "b\r\na\r\nB\r\n");
  std::filesystem::permissions(inputs.Path() / "in.txt", std::filesystem::perms(0644));
  replacement_cases::CheckReplacementRules(
      {"merge output", "a\r\nb\r\n",
       [&](const harvest::FilePath& output) {
         AsciiNoCaseCollation collation;
         try {
           MergeDataFiles({input}, output, collation);
         } catch (const harvest::FileCreateError& e) {
           // The same message after reading and sorting everything would
           // be the refusal come too late.
           if (collation.keysMade != 0) throw harvest::Exception(e.Message() + " (after the sort)");
           throw;
         }
       },
       [](const harvest::FilePath& output, int) { return "Cannot create file " + output.text; }});
}

}  // namespace
}  // namespace tools

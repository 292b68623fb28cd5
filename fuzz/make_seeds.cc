// Writes seed inputs for the harnesses: plans and pools of every element kind, built with the PlanBuilder,
// in the local form and in foreign forms.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "plan/foreign.h"
#include "plan/plan_builder.h"

using namespace vexfilt;
using namespace vexfilt::plan;

namespace {

void Write(const std::string& dir, const std::string& name, const std::vector<std::uint8_t>& bytes) {
  std::ofstream(dir + "/" + name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                         static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const std::string dir = argv[1];
  PoolBuilder pool;
  pool.Version(kChangeControlVersion);
  PlanBuilder plan("SEEDS");
  plan.RecordLength(64);
  plan.Compare(Column::Long("L", 0), op::kGT, pool.Long(5));
  plan.Compare(Column::Double("D", 8), op::kLT, pool.Double(2.5));
  plan.Like(Column::Char("NAME", 16, 8), pool.Char("AB*"));
  plan.Compare(Column::VarChar("V", 24, 12), op::kEQ, pool.Char("XYZ"));
  const Column right = Column::Long("R", 36);
  plan.CompareColumns(Column::Short("S", 40), op::kNE, right, pool.ColumnDescriptor(right));
  plan.StringSearch(Column::Char("NAME", 16, 8), pool.Char("B"));
  plan.Search(Column::Char("NAME", 16, 8), pool.Search(SearchList::Of({"ALPHA", "BETA"}, 8)));
  ChangeControl control;
  control.keys = {Column::Char("NAME", 16, 8)};
  const Literal scratch = pool.ChangeScratch(control);
  const Literal block = pool.Change(control);
  plan.Change(Column::Long("L", 0), scratch, block);
  plan.Always();
  const std::vector<std::uint8_t> records(128, 'A');
  Write(dir, "local", fuzzing::Join(plan.Build(), pool.Build(), records));
  std::vector<std::uint8_t> local = fuzzing::Join(plan.Build(), pool.Build(), records);
  local.insert(local.begin(), 0);
  Write(dir, "translate-local", local);
  std::vector<std::uint8_t> big = fuzzing::Join(ForeignPlan(plan.Build(), 0x00000000), ForeignPool(pool.Build(), 0x00000000), records);
  big.insert(big.begin(), 0);
  Write(dir, "translate-big-endian", big);
  std::vector<std::uint8_t> ibm = fuzzing::Join(ForeignPlan(plan.Build(), 0x00000301), ForeignPool(pool.Build(), 0x00000301), records);
  ibm.insert(ibm.begin(), 2);
  Write(dir, "translate-mainframe", ibm);

  // Compares joined by AND, then by OR, each bound as one routine.
  PoolBuilder joinPool;
  PlanBuilder joins("SEEDS");
  joins.RecordLength(64);
  joins.Compare(Column::Long("L", 0), op::kGT, joinPool.Long(5)).TrueTo(1).FalseTo(3);
  joins.Compare(Column::Double("D", 8), op::kLT, joinPool.Double(2.5)).TrueTo(2).FalseTo(3);
  joins.Compare(Column::Char("NAME", 16, 8), op::kEQ, joinPool.Char("AB")).TrueToEnd().FalseTo(3);
  joins.Compare(Column::Short("S", 40), op::kNE, joinPool.Short(7)).TrueToEnd().FalseTo(4);
  joins.Compare(Column::UShort("U", 42), op::kLE, joinPool.UShort(9)).TrueToEnd().FalseToEnd();
  Write(dir, "joins", fuzzing::Join(joins.Build(), joinPool.Build(), records));

  // UTF-8 data compared by the locale: every locale-aware family, a prefix search entry on a varying
  // column, and values that end in characters cut by their column's end.
  PoolBuilder nlsPool;
  PlanBuilder nls("SEEDS");
  nls.RecordLength(48).Flags(plan_flag::kUtf8Data | plan_flag::kLocaleSetup);
  const Column text = Column::Utf8Char("T", 0, 8);
  const Column varying = Column::Utf8VarChar("V", 8, 14);
  nls.Compare(text, op::kGE, nlsPool.Utf8Char("\xC3\xA9t\xC3\xA9", 8));
  nls.Like(text, nlsPool.Utf8Char("*\xC3\xA9?"));
  nls.Like(varying, nlsPool.Utf8Char("a*\xC3"));
  nls.Substring(varying, 3, op::kEQ, nlsPool.Utf8Char("\xC3\xA9")).LeftLiteralLength(1);
  nls.StringSearch(varying, nlsPool.Utf8Char("\xC3\xB6l"));
  const Column other = Column::Utf8VarChar("W", 24, 10);
  nls.CompareColumns(varying, op::kLT, other, nlsPool.ColumnDescriptor(other));
  constexpr std::uint8_t kLocalePrefix = search::kVarying | search::kLocale | search::kPrefix;
  nls.Search(varying, nlsPool.Search(SearchList::Of({"ab\xC3", "\xC3\xA9*"}, 0, kLocalePrefix)));
  nls.Always();
  std::vector<std::uint8_t> nlsRecords;
  using namespace std::string_literals;  // the rows hold zero bytes in their length prefixes
  for (const std::string& row : {"\xC3\xA9t\xC3\xA9xyz\xC3\x04\x00ab\xC3\xA9\xC3"s, "abcdefg\xC3\x02\x00\xC3\xA9"s}) {
    std::string bytes = row;
    bytes.resize(48, ' ');
    nlsRecords.insert(nlsRecords.end(), bytes.begin(), bytes.end());
  }
  Write(dir, "locale", fuzzing::Join(nls.Build(), nlsPool.Build(), nlsRecords));
  return 0;
}

// End-to-end: `ravelin show` and `ravelin definition` on the bundled sample.

#include <gtest/gtest.h>

#include <algorithm>

#include "support/run_command.h"
#include "support/synthetic.h"

namespace ravelin {
namespace {

using namespace testing;

const std::string kSample = std::string(RAVELIN_SOURCE_DIR) + "/samples/northwind-sql2000.mdf";

TEST(ShowCommand, PagesOfATable) {
  TempDir logs;
  auto r = RunRavelin({"show", kSample, "Order Details", "--page", "3", "--log-dir", logs.path(), "--quiet"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out.rfind("Page3 - [155](2001-2155) Records\n2000 rows to 2155\n\n"
                        "OrderID\tProductID\tUnitPrice\tQuantity\tDiscount\n",
                        0),
            0u)
      << r.out.substr(0, 200);
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 4 + 155);
  EXPECT_EQ(r.err, "");

  auto beyond = RunRavelin({"show", kSample, "dbo.Order Details", "--page", "4", "--log-dir", logs.path(), "--quiet"});
  EXPECT_EQ(beyond.exitCode, 1);
  EXPECT_EQ(beyond.err, "dbo.Order Details has 3 pages of records.\n");
}

TEST(ShowCommand, DefinitionsScriptsAndMisses) {
  TempDir logs;
  auto definition = RunRavelin({"definition", kSample, "dbo.CustOrderHist"});
  ASSERT_EQ(definition.exitCode, 0) << definition.err;
  EXPECT_EQ(definition.out.rfind("CREATE PROCEDURE CustOrderHist @CustomerID nchar(5)\r\nAS\r\n", 0), 0u);
  // show prints the same text, ending it with a line break when it lacks one.
  auto shown = RunRavelin({"show", kSample, "CustOrderHist", "--log-dir", logs.path(), "--quiet"});
  EXPECT_EQ(shown.out, definition.out.back() == '\n' ? definition.out : definition.out + "\n");

  auto script = RunRavelin({"show", kSample, "Employees/Constraint/CK_Birthdate", "--log-dir", logs.path(), "--quiet"});
  EXPECT_EQ(
      script.out,
      "ALTER TABLE  [dbo].[Employees] WITH NOCHECK ADD CONSTRAINT[CK_Birthdate] CHECK ([BirthDate] < getdate())\n");

  // Key columns come from the key's index, in key order.
  auto key =
      RunRavelin({"show", kSample, "Order Details/PrimaryKey/PK_Order_Details", "--log-dir", logs.path(), "--quiet"});
  EXPECT_EQ(key.out, "ALTER TABLE Order Details ADD PRIMARY KEY (OrderID , ProductID )\n");
  // A nonclustered key leaves out the clustered key its index carries.
  if (const std::string dir = TestDataDir(); !dir.empty()) {
    auto pubs = RunRavelin(
        {"show", dir + "/pubs-sql2000.mdf", "employee/PrimaryKey/PK_emp_id", "--log-dir", logs.path(), "--quiet"});
    EXPECT_EQ(pubs.out, "ALTER TABLE employee ADD PRIMARY KEY (emp_id )\n");
  }

  auto noDefinition = RunRavelin({"definition", kSample, "Orders"});
  EXPECT_EQ(noDefinition.exitCode, 1);
  EXPECT_EQ(noDefinition.out, "");
  // A category can be clicked too; it has nothing of its own to show.
  auto category = RunRavelin({"show", kSample, "Tables", "--log-dir", logs.path(), "--quiet"});
  EXPECT_EQ(category.err, "Nothing to show for Tables: it has no definition text or script.\n");
  auto missing = RunRavelin({"show", kSample, "NoSuchThing", "--log-dir", logs.path(), "--quiet"});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_EQ(missing.err, "NoSuchThing is not in the object tree of the database.\n");
}

}  // namespace
}  // namespace ravelin

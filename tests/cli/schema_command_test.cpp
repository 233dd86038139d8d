// End-to-end: `ravelin schema` on synthetic and real files.

#include <gtest/gtest.h>

#include <regex>

#include "support/catalog_image.h"
#include "support/catalog_rows.h"
#include "support/run_command.h"
#include "support/synthetic.h"

namespace ravelin {
namespace {

using namespace testing;

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(SchemaCommand, FilesWithoutACatalog) {
  TempDir dir;
  auto missing = RunRavelin({"schema", dir.path() + "/missing.mdf", "--json"});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_NE(missing.err.find("File cannot be open..........."), std::string::npos);
  EXPECT_EQ(missing.out, "");

  // Catalog pages, but not one object row in either layout.
  DatabaseImage image(16);
  SystemTablePage(image, 10, 8, {SysFiles1Row{.logicalName = "x", .physicalName = "C:\\x.mdf"}.Build()});
  auto empty = RunRavelin({"schema", dir.Write("empty.mdf", image.Build())});
  EXPECT_EQ(empty.exitCode, 1);
  EXPECT_EQ(empty.err, "Either it is not valid mdf file or highly corrupted, select another file to recover.\n");
  EXPECT_EQ(empty.out, "");
}

TEST(SchemaCommand, JsonOfASmallDatabase) {
  TempDir dir;
  const std::string path = dir.Write("small.mdf", SmallCatalogImage().Build());
  auto r = RunRavelin({"schema", path, "--json"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::string& j = r.out;
  EXPECT_EQ(j.rfind("{\"layout\":\"2005+\",\"objects\":[{\"id\":34,\"name\":\"sys.sysschobjs\",\"typeCode\":\"S \"", 0),
            0u)
      << j;
  EXPECT_EQ(Count(j, "\"parentId\":"), 9u);
  // User tables sorted by name, then the system table.
  const std::regex order(R"("tables":\[\{"name":"dbo.Customers".*"name":"dbo.Empty".*"name":"dbo.Orders".*)"
                         R"("name":"sys.sysschobjs")");
  EXPECT_TRUE(std::regex_search(j, order)) << j;
  EXPECT_NE(
      j.find("{\"name\":\"dbo.Customers\",\"typeCode\":\"U \",\"objectId\":101,\"hasData\":true,\"pageCount\":1,"
             "\"compression\":\"NONE\",\"columns\":[{\"name\":\"Id\",\"typeText\":\"int(4)\",\"declaredType\":\"int\","
             "\"typeCode\":9,"
             "\"nullable\":false,"
             "\"identity\":\"identity(1,1)\",\"primaryKey\":true,\"unique\":true,\"foreignKey\":null},"
             "{\"name\":\"Name\",\"typeText\":\"nvarchar(100)\",\"declaredType\":\"nvarchar(50)\",\"typeCode\":11,"
             "\"nullable\":true,"
             "\"identity\":null,\"primaryKey\":false,\"unique\":false,\"foreignKey\":null}],"
             "\"constraints\":[{\"name\":\"dbo.PK_Customers\",\"typeCode\":\"PK\"}]}"),
      std::string::npos)
      << j;
  EXPECT_NE(j.find("\"foreignKey\":{\"table\":\"dbo.Customers\",\"column\":\"Id\"}"), std::string::npos);
  EXPECT_NE(j.find("\"constraints\":[{\"name\":\"dbo.FK_Orders_Customers\",\"typeCode\":\"F \"},"
                   "{\"name\":\"dbo.DF_Orders_Qty\",\"typeCode\":\"D \"}]"),
            std::string::npos);
  EXPECT_NE(j.find("\"name\":\"dbo.Empty\",\"typeCode\":\"U \",\"objectId\":108,\"hasData\":false,\"pageCount\":0"),
            std::string::npos);
}

TEST(SchemaCommand, TextGroupsObjectsAsTheTreeDoes) {
  TempDir dir;
  const std::string path = dir.Write("small.mdf", SmallCatalogImage().Build());
  auto r = RunRavelin({"schema", path, "--quiet", "--deleted"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::string& t = r.out;
  EXPECT_NE(t.find("Layout: 2005+\n\nUser Tables (3)\n  dbo.Customers  (1 data page)\n"
                   "    Id  int  NOT NULL  identity(1,1)  [Primary Key]\n"
                   "    Name  nvarchar(50)  NULL\n"
                   "    constraint PK  dbo.PK_Customers\n"
                   "  dbo.Empty  (no data pages)\n"),
            std::string::npos)
      << t;
  EXPECT_NE(t.find("    CustomerId  int  NULL  (foreign key) references dbo.Customers( Id)\n"), std::string::npos);
  EXPECT_NE(t.find("\nSystem Tables (1)\n  sys.sysschobjs  (no data pages)\n"), std::string::npos) << t;
  EXPECT_NE(t.find("\nViews (1)\n  dbo.OrderSummary\n\nFunction (0)\n\nStore Procedure (1)\n  dbo.GetOrders\n"
                   "\nDefault (1)\n  dbo.DF_Orders_Qty\n\nTriggers (0)\n"),
            std::string::npos)
      << t;
}

TEST(SchemaCommand, RealFilesOfBothLayouts) {
  const std::string data = TestDataDir();
  if (data.empty()) GTEST_SKIP() << "no test data";
  auto old = RunRavelin({"schema", data + "/pubs-sql2000.mdf", "--json"});
  ASSERT_EQ(old.exitCode, 0) << old.err;
  EXPECT_EQ(old.out.rfind("{\"layout\":\"2000\"", 0), 0u);
  EXPECT_EQ(Count(old.out, "\"typeCode\":\"U \",\"objectId\""), 11u);
  EXPECT_NE(old.out.find("{\"name\":\"au_id\",\"typeText\":\"varchar(11)\",\"declaredType\":\"varchar(11)\""),
            std::string::npos);
  // The 2000 layout names tables with their owner, from sysusers through
  // the object's uid, and shows keys and identity as later layouts do.
  EXPECT_NE(old.out.find("{\"name\":\"dbo.authors\",\"typeCode\":\"U \""), std::string::npos);
  auto text = RunRavelin({"schema", data + "/pubs-sql2000.mdf"});
  EXPECT_NE(text.out.find("  dbo.jobs  (1 data page)\n    job_id  smallint  NOT NULL  identity(1,1)  [Primary Key]\n"
                          "    job_desc  varchar(50)  NOT NULL\n"),
            std::string::npos)
      << text.out;
  EXPECT_NE(text.out.find("    title_id  varchar(6)  NOT NULL  [Primary Key]  (foreign key) references dbo.titles( "
                          "title_id)\n    au_ord  tinyint  NULL\n"),
            std::string::npos);
  EXPECT_NE(text.out.find("    price  money  NULL\n"), std::string::npos);
  EXPECT_NE(text.out.find("    constraint PK  dbo.UPKCL_taind\n"), std::string::npos);

  auto newer = RunRavelin({"schema", data + "/contosouniversity-ef-sql2012.mdf", "--json"});
  ASSERT_EQ(newer.exitCode, 0) << newer.err;
  EXPECT_EQ(newer.out.find("\"id\":-"), std::string::npos);  // no hidden system objects
  EXPECT_NE(newer.out.find("{\"name\":\"dbo.Person\",\"typeCode\":\"U \""), std::string::npos);
}

}  // namespace
}  // namespace ravelin

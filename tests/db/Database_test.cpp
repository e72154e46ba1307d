// Whole databases: made by BuildPackage, read back as the updater reads them,
// over the system's provider.
#include "db/Database.h"

#include <gtest/gtest.h>

#include "PackageTest.h"

namespace {

class Database : public PackageTest {};

// The declared length counts its own digits: bodies around every change in
// the number of digits must still give a header that checks.
TEST_F(Database, PackagesOfEverySizeReadBack) {
    for (std::size_t size : {0u, 1u, 78u, 79u, 80u, 81u, 977u, 978u, 979u, 980u, 9976u, 9977u,
                             9978u, 99975u, 99976u, 99977u, 99978u}) {
        SCOPED_TRACE(size);
        const std::string body = vectors::Generated(size, size);
        ui.putFile("C:\\db.xdb", db::BuildPackage(*provider, ui, "ABC0017", -3, body));
        API_FILE::DatabaseSummary summary;
        EXPECT_TRUE(db::ReadDatabase(ui, *provider, ui, "C:\\db.xdb", summary) == body);
        EXPECT_EQ(summary.DbVersion, "ABC0017");
        EXPECT_EQ(summary.DbRecordCount, -3);
    }
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(Database, VersionTextsThatCannotBeWrittenAreRefused) {
    EXPECT_THROW(db::BuildPackage(*provider, ui, "VRS\r1", 1, ""), std::invalid_argument);
}

}  // namespace

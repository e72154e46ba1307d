// Whole databases: made by BuildPackage, read back as the updater reads them,
// over the system's provider.
#include "db/Database.h"

#include <gtest/gtest.h>

#include "FakeSystem.h"
#include "Vectors.h"
#include "crypto/clsCryptoFilterBox.h"

namespace {

class Database : public ::testing::Test {
  protected:
    std::unique_ptr<crypto::Provider> provider = vectors::MakeProvider();
    fake::FakeSystem fs;

    void SetUp() override {
        crypto::clsCryptoFilterBox container(*provider, fs);  // first use makes the container
        fs.messages.clear();
    }
};

// The declared length counts its own digits: bodies around every change in
// the number of digits must still give a header that checks.
TEST_F(Database, PackagesOfEverySizeReadBack) {
    for (std::size_t size : {0u, 1u, 78u, 79u, 80u, 81u, 977u, 978u, 979u, 980u, 9976u, 9977u,
                             9978u, 99975u, 99976u, 99977u, 99978u}) {
        SCOPED_TRACE(size);
        const std::string body = vectors::Generated(size, size);
        fs.putFile("C:\\db.xdb", db::BuildPackage(*provider, fs, "ABC0017", -3, body));
        API_FILE::DatabaseSummary summary;
        EXPECT_TRUE(db::ReadDatabase(fs, *provider, fs, "C:\\db.xdb", summary) == body);
        EXPECT_EQ(summary.DbVersion, "ABC0017");
        EXPECT_EQ(summary.DbRecordCount, -3);
    }
    EXPECT_TRUE(fs.messages.empty());
}

TEST_F(Database, EachReadOverwritesTheSummary) {
    fs.putFile("C:\\new.xdb", db::BuildPackage(*provider, fs, "VRS0020", 200, "n"));
    fs.putFile("C:\\old.xdb", db::BuildPackage(*provider, fs, "VRS0019", 190, "o"));
    API_FILE::DatabaseSummary summary;
    db::ReadDatabase(fs, *provider, fs, "C:\\new.xdb", summary);
    EXPECT_EQ(db::ReadDatabase(fs, *provider, fs, "C:\\old.xdb", summary), "o");
    EXPECT_EQ(summary.DbVersion, "VRS0019");
    EXPECT_EQ(summary.DbRecordCount, 190);
}

TEST_F(Database, UnreadableOrForeignFilesAreCorrupted) {
    const std::string package = db::BuildPackage(*provider, fs, "VRS0001", 1, "body");
    // The same text enciphered under another password.
    crypto::clsCryptoFilterBox filter(*provider, fs);
    filter.InBuffer(package);
    filter.Password(std::string(db::kPassword));
    filter.Decrypt();
    filter.InBuffer(filter.OutBuffer());
    filter.Password("another");
    filter.Encrypt();
    fs.putFile("C:\\other.xdb", filter.OutBuffer());
    fs.putFile("C:\\cut.xdb", package.substr(0, package.size() - 1));
    fs.putFile("C:\\empty.xdb", "");
    for (const char* path : {"C:\\other.xdb", "C:\\cut.xdb", "C:\\empty.xdb", "C:\\missing.xdb"}) {
        SCOPED_TRACE(path);
        fs.messages.clear();
        API_FILE::DatabaseSummary summary;
        EXPECT_THROW(db::ReadDatabase(fs, *provider, fs, path, summary), fake::ProgramEnded);
        ASSERT_EQ(fs.messages.size(), 1u);
        EXPECT_EQ(fs.messages[0].title, "Banco de dados corrompido!");
    }
}

TEST_F(Database, VersionTextsThatCannotBeWrittenAreRefused) {
    EXPECT_THROW(db::BuildPackage(*provider, fs, "VRS\r1", 1, ""), std::invalid_argument);
}

}  // namespace

// What only the portable provider has to get right: its key containers and
// its key files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "FakeSystem.h"
#include "Vectors.h"
#include "crypto/clsCryptoFilterBox.h"
#include "crypto/openssl/OpenSslProvider.h"
#include "crypto/openssl/Rc4.h"

namespace {

using crypto::clsCryptoFilterBox;

struct TempFolder {
    std::filesystem::path path;
    TempFolder() {
        std::string p =
            (std::filesystem::temp_directory_path() / "atualizador-test-XXXXXX").string();
        path = mkdtemp(p.data());
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
};

TEST(PortableContainers, FirstUseCreatesTheContainerAndSaysSoOnce) {
    TempFolder keys;
    crypto::OpenSslProvider provider(keys.path / "nested", "maria");
    EXPECT_EQ(provider.acquireContext(0).error, crypto::kNteBadKeyset);
    fake::FakeSystem ui;
    clsCryptoFilterBox first(provider, ui);
    clsCryptoFilterBox second(provider, ui);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Create key container maria");
    EXPECT_TRUE(std::filesystem::is_directory(keys.path / "nested" / "maria"));
    EXPECT_EQ(provider.acquireContext(crypto::kCryptNewKeyset).error, crypto::kNteExists);
}

TEST(PortableContainers, UncreatableContainerFailsConstruction) {
    TempFolder keys;
    std::filesystem::create_directories(keys.path);
    { std::ofstream(keys.path / "file") << "x"; }  // a file where the root folder should be
    crypto::OpenSslProvider provider(keys.path / "file", "maria");
    fake::FakeSystem ui;
    clsCryptoFilterBox filter(provider, ui);
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[0].text, "Error creating key container! -2146893792");
    EXPECT_EQ(ui.messages[1].text, "Erro ao carregar a classe descompiladora!");
}

TEST(PortableContainers, NoSignatureKeyIsReportedByBothOperations) {
    TempFolder keys;
    crypto::OpenSslProvider provider(keys.path, "maria");
    fake::FakeSystem ui;
    clsCryptoFilterBox filter(provider, ui);
    ui.messages.clear();
    filter.InBuffer("text");
    filter.Sign();
    EXPECT_EQ(filter.status(), 1);
    filter.Validate();
    EXPECT_EQ(filter.status(), 1);
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[0].text, "Error -2146893811 during CryptSignHash");
    EXPECT_EQ(ui.messages[1].text, "Error -2146893811 during CryptGetUserKey!");
}

TEST(PortableContainers, GeneratedKeySignsAndExportsTheBlobItWasImportedFrom) {
    TempFolder keys;
    crypto::OpenSslProvider provider(keys.path, "maria");
    fake::FakeSystem ui;
    clsCryptoFilterBox filter(provider, ui);
    auto context = provider.acquireContext(0);
    ASSERT_TRUE(context);
    ASSERT_TRUE(context.object->generateSignatureKey(1024));
    filter.InBuffer("message");
    filter.Sign();
    EXPECT_EQ(filter.Signature().size(), 128u);
    filter.Validate();
    EXPECT_EQ(filter.status(), 2);

    const vectors::Signature v = vectors::ParseSignature(vectors::ReadVectorFile("signature.txt"));
    ASSERT_TRUE(context.object->importSignatureKey(v.keyBlob));
    std::string exported;
    ASSERT_TRUE(context.object->userKey(crypto::kAtSignature).object->exportPrivateBlob(exported));
    EXPECT_EQ(vectors::Hex(exported), vectors::Hex(v.keyBlob));
}

TEST(PortableContainers, MalformedKeyBlobsAreRefused) {
    TempFolder keys;
    crypto::OpenSslProvider provider(keys.path, "maria");
    ASSERT_TRUE(provider.acquireContext(crypto::kCryptNewKeyset));
    const std::string good =
        vectors::ParseSignature(vectors::ReadVectorFile("signature.txt")).keyBlob;
    std::string badMagic = good;
    badMagic[8] = 'X';
    for (const std::string& blob :
         {std::string(), good.substr(0, good.size() - 1), badMagic, good + "x"}) {
        EXPECT_EQ(provider.acquireContext(0).object->importSignatureKey(blob).error, 0x8009000Au);
    }
    EXPECT_EQ(provider.acquireContext(0).object->userKey(crypto::kAtSignature).error,
              crypto::kNteNoKey);
}

// The RC4 used where libcrypto has none: the published key stream of the
// 40-bit key 0102030405, at offsets 0 and 16.
TEST(PortableRc4, GivesThePublishedKeyStream) {
    const std::uint8_t key[] = {1, 2, 3, 4, 5};
    crypto::Rc4 rc4(key);
    std::uint8_t stream[32] = {};
    rc4.apply(std::span<std::uint8_t>(stream, 10));  // in two calls: the state carries on
    rc4.apply(std::span<std::uint8_t>(stream + 10, 22));
    const std::string got(reinterpret_cast<const char*>(stream), sizeof stream);
    EXPECT_EQ(vectors::Hex(got),
              "b2396305f03dc027ccc3524a0a1118a8"
              "6982944f18fc82d589c403a47a0d0919");
}

// A context of no container: hashes and RC4 keys, and nothing on disk, even
// where no key folder can be made.
TEST(PortableContainers, AContextOfNoContainerNeedsNoFolder) {
    TempFolder keys;
    std::filesystem::create_directories(keys.path);
    { std::ofstream(keys.path / "file") << "x"; }
    crypto::OpenSslProvider provider(keys.path / "file" / "keys", "maria");
    crypto::Acquired<crypto::Context> context =
        provider.acquireContext(crypto::kCryptVerifyContext);
    ASSERT_TRUE(context);
    crypto::Acquired<crypto::Hash> hash = context.object->createHash(crypto::kCalgMd5);
    ASSERT_TRUE(hash);
    ASSERT_TRUE(hash.object->hashData("5d03e7b"));
    ASSERT_TRUE(context.object->deriveKey(crypto::kCalgRc4, *hash.object));
    EXPECT_EQ(context.object->userKey(crypto::kAtSignature).error, crypto::kNteNoKey);
    EXPECT_FALSE(context.object->generateSignatureKey(1024));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(keys.path),
                            std::filesystem::directory_iterator()),
              1);
}

// A failed container says which folder, and why.
TEST(PortableContainers, AFailedContainerNamesItsFolderAndTheReason) {
    TempFolder keys;
    std::filesystem::create_directories(keys.path);
    { std::ofstream(keys.path / "file") << "x"; }
    crypto::OpenSslProvider provider(keys.path / "file", "maria");
    EXPECT_EQ(provider.acquireContext(0).error, crypto::kNteBadKeyset);
    EXPECT_EQ(provider.containerProblem(),
              "no key folder " + (keys.path / "file" / "maria").string());
    EXPECT_FALSE(provider.acquireContext(crypto::kCryptNewKeyset));
    EXPECT_EQ(provider.containerProblem(), "cannot make the key folder " +
                                               (keys.path / "file" / "maria").string() +
                                               " (Not a directory)");
}

// The key file is its owner's alone from the moment it exists.
TEST(PortableContainers, KeyFilesAreTheOwnersAlone) {
    TempFolder keys;
    crypto::OpenSslProvider provider(keys.path, "maria");
    auto context = provider.acquireContext(crypto::kCryptNewKeyset);
    ASSERT_TRUE(context);
    ASSERT_TRUE(context.object->generateSignatureKey(512));
    const auto perms = std::filesystem::status(keys.path / "maria" / "signature.key").permissions();
    EXPECT_EQ(perms & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(keys.path / "maria"),
                            std::filesystem::directory_iterator()),
              1);
}

}  // namespace

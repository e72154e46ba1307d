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
namespace fs = std::filesystem;

struct TempFolder {
    fs::path path;
    TempFolder() {
        std::string p = (fs::temp_directory_path() / "atualizador-test-XXXXXX").string();
        path = mkdtemp(p.data());
    }
    ~TempFolder() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    std::ptrdiff_t entries(const fs::path& folder) const {
        return std::distance(fs::directory_iterator(folder), fs::directory_iterator());
    }
};

// A file where the key folder should be: the container fails, saying which
// folder and why; the filter's construction says nothing, since ciphers
// need no container; a context of no container still gives hashes and RC4
// keys.
TEST(PortableContainers, AnUnmakeableContainerSaysWhyAndNeedsNoneForCiphers) {
    TempFolder keys;
    { std::ofstream(keys.path / "file") << "x"; }
    crypto::OpenSslProvider provider(keys.path / "file", "maria");
    const std::string folder = (keys.path / "file" / "maria").string();
    EXPECT_EQ(provider.acquireContext(0).error, crypto::kNteBadKeyset);
    EXPECT_EQ(provider.containerProblem(), "no key folder " + folder);
    EXPECT_EQ(provider.acquireContext(crypto::kCryptNewKeyset).error, 0x80090020u);
    EXPECT_EQ(provider.containerProblem(),
              "cannot make the key folder " + folder + " (Not a directory)");
    fake::FakeSystem ui;
    clsCryptoFilterBox filter(provider, ui);
    filter.InBuffer("text");
    filter.Decrypt();
    EXPECT_EQ(filter.OutBuffer().size(), 4u);
    EXPECT_TRUE(ui.messages.empty());

    crypto::Acquired<crypto::Context> context =
        provider.acquireContext(crypto::kCryptVerifyContext);
    ASSERT_TRUE(context);
    crypto::Acquired<crypto::Hash> hash = context.object->createHash(crypto::kCalgMd5);
    ASSERT_TRUE(hash && hash.object->hashData("5d03e7b"));
    EXPECT_TRUE(context.object->deriveKey(crypto::kCalgRc4, *hash.object));
    EXPECT_EQ(context.object->userKey(crypto::kAtSignature).error, crypto::kNteNoKey);
    EXPECT_FALSE(context.object->generateSignatureKey(1024));
    EXPECT_EQ(keys.entries(keys.path), 1);
}

// The first use makes the container, folders and all, and says so once. No
// key yet: both operations say so. A generated key signs and validates, and a
// key pair imported exports as the blob it came from, readable by its owner
// alone and with no temporary file left beside it.
TEST(PortableContainers, KeysSignExportAsImportedAndAreTheOwnersAlone) {
    TempFolder keys;
    crypto::OpenSslProvider provider(keys.path / "nested", "maria");
    fake::FakeSystem ui;
    clsCryptoFilterBox filter(provider, ui);
    filter.InBuffer("message");
    filter.Sign();
    clsCryptoFilterBox(provider, ui).Validate();
    EXPECT_EQ(provider.acquireContext(crypto::kCryptNewKeyset).error, crypto::kNteExists);
    ASSERT_EQ(ui.messages.size(), 3u);
    EXPECT_EQ(ui.messages[0].text, "Create key container maria");
    EXPECT_EQ(ui.messages[1].text, "Error -2146893811 during CryptSignHash");
    EXPECT_EQ(ui.messages[2].text, "Error -2146893811 during CryptGetUserKey!");

    auto context = provider.acquireContext(0);
    ASSERT_TRUE(context.object->generateSignatureKey(1024));
    filter.Sign();
    EXPECT_EQ(filter.Signature().size(), 128u);
    filter.Validate();
    EXPECT_EQ(filter.status(), 2);

    const vectors::Signature v = vectors::ParseSignature(vectors::ReadVectorFile("signature.txt"));
    ASSERT_TRUE(context.object->importSignatureKey(v.keyBlob));
    std::string exported;
    ASSERT_TRUE(context.object->userKey(crypto::kAtSignature).object->exportPrivateBlob(exported));
    EXPECT_EQ(vectors::Hex(exported), vectors::Hex(v.keyBlob));
    const fs::path file = keys.path / "nested" / "maria" / "signature.key";
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(keys.entries(file.parent_path()), 1);
}

TEST(PortableContainers, MalformedKeyBlobsAreRefused) {
    TempFolder keys;
    crypto::OpenSslProvider provider(keys.path, "maria");
    auto context = provider.acquireContext(crypto::kCryptNewKeyset);
    const std::string good =
        vectors::ParseSignature(vectors::ReadVectorFile("signature.txt")).keyBlob;
    std::string badMagic = good;
    badMagic[8] = 'X';
    for (const std::string& blob :
         {std::string(), good.substr(0, good.size() - 1), badMagic, good + "x"}) {
        EXPECT_EQ(context.object->importSignatureKey(blob).error, 0x8009000Au);
    }
    EXPECT_EQ(context.object->userKey(crypto::kAtSignature).error, crypto::kNteNoKey);
}

// The RC4 used where libcrypto has none: the published key stream of the
// 40-bit key 0102030405, at offsets 0 and 16, in two calls.
TEST(PortableRc4, GivesThePublishedKeyStream) {
    const std::uint8_t key[] = {1, 2, 3, 4, 5};
    crypto::Rc4 rc4(key);
    std::uint8_t stream[32] = {};
    rc4.apply(std::span<std::uint8_t>(stream, 10));
    rc4.apply(std::span<std::uint8_t>(stream + 10, 22));
    EXPECT_EQ(vectors::Hex(std::string(reinterpret_cast<const char*>(stream), sizeof stream)),
              "b2396305f03dc027ccc3524a0a1118a86982944f18fc82d589c403a47a0d0919");
}

}  // namespace

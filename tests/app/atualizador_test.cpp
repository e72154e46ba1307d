#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "FakeSystem.h"
#include "app/Atualizador.h"
#ifndef _WIN32
#include "crypto/openssl/OpenSslProvider.h"
#endif
#include "db/Database.h"

namespace {

using fake::File;
using fake::ProgramEnded;
namespace mb = platform::mb;

constexpr const char* kKey = "SOFTWARE\\Holmcrest\\Varnel R40";
constexpr const char* kInstalled = "C:\\Program Files\\Holmcrest\\Varnel R40\\db.xdb";
constexpr const char* kPackage = "C:\\Update\\db.xdb";
constexpr std::uint32_t kGrey = 0xC0C0C0;

// A file with one attribute set.
File With(bool File::*attribute, bool on = true) {
    File f;
    f.*attribute = on;
    return f;
}

const char* const kAccessError =
    "Houve um erro ao tentar remover/atualizar o banco de dados!\r\n"
    "Verifique se o Varnel não o está utilizando-o no Removedor (Comum ou Individual).\r\n\r\n"
    "Feche toda janela que pertence ao Varnel e clique em Repetir.";
const char* const kSuccess =
    "O Banco de Dados foi atualizado com sucesso!\r\n\r\n"
    "Clique em \"Finalizar\" para concluir a atualização.";

// Packages are made with the system's provider on Windows and with the
// portable one, keeping its keys in the test's temporary folder, elsewhere.
std::unique_ptr<crypto::Provider> TestProvider() {
#ifdef _WIN32
    return crypto::MakeSystemProvider();
#else
    return std::make_unique<crypto::OpenSslProvider>(std::filesystem::path(::testing::TempDir()) /
                                                     "atualizador-wizard-keys");
#endif
}

class WizardTest : public ::testing::Test {
  protected:
    WizardTest() {
        // The first use makes the key container and says so in a box; get
        // that over with before the wizard runs.
        fake::FakeSystem first;
        db::BuildPackage(provider, first, "XDB1", 1, "");
    }

    std::string Package(const std::string& version, std::int16_t records) {
        return db::BuildPackage(provider, sys, version, records, "body of " + version);
    }

    // The wizard loaded with a package of this version beside it.
    void Loaded(const std::string& version = "XDB0010", std::int16_t records = 1200) {
        newBytes = Package(version, records);
        sys.putFile(kPackage, newBytes);
        wizard.Load(kGrey);
    }

    void Installed(const std::string& version, std::int16_t records = 900, File attributes = {}) {
        sys.setRegistryString(kKey, "DB", kInstalled);
        sys.putFile(kInstalled, Package(version, records), attributes);
    }

    void Click() { wizard.Command2Click(); }
    void ClickEnds() { EXPECT_THROW(wizard.Command2Click(), ProgramEnded); }

    const app::Control& operator[](const char* name) const { return wizard.form()[name]; }

    // The wizard's finished third step, with the package moved into place.
    void ExpectInstalled() {
        EXPECT_TRUE((*this)["Passo3"].visible);
        EXPECT_FALSE((*this)["Passo2"].visible);
        EXPECT_EQ((*this)["Label1"].caption, kSuccess);
        EXPECT_EQ((*this)["Command2"].caption, "Finalizar");
        EXPECT_TRUE((*this)["Command2"].enabled);
        EXPECT_FALSE((*this)["Command1"].enabled);
        EXPECT_EQ(sys.contents(kInstalled), newBytes);
        EXPECT_FALSE(sys.exists(kPackage));
        EXPECT_FALSE(sys.anyStaged());
    }

    std::unique_ptr<crypto::Provider> owned = TestProvider();
    crypto::Provider& provider = *owned;
    fake::FakeSystem sys;
    app::Atualizador wizard{sys, sys, provider};
    std::string newBytes;
};

// ------------------------------------------------------------ load step

TEST_F(WizardTest, LoadKeepsTheNewVersionAndShadesThePanels) {
    Loaded("XDB0010", 1200);
    for (const auto& m : sys.messages) ADD_FAILURE() << m.title << ": " << m.text;
    EXPECT_EQ((*this)["Versão"].caption, "XDB0010");
    EXPECT_EQ((*this)["Versão"].tag, "1200");
    EXPECT_FALSE((*this)["Versão"].visible);
    EXPECT_TRUE((*this)["Passo1"].visible);
    EXPECT_FALSE((*this)["Passo2"].visible);
    EXPECT_FALSE((*this)["Passo3"].visible);
    // Picture2 in bands of 25 up to white, the steps in bands of 50.
    EXPECT_EQ((*this)["Picture2"].drawing.size(), 64u * 26u);
    for (const char* step : {"Passo1", "Passo2", "Passo3"})
        EXPECT_EQ((*this)[step].drawing.size(), 63u * 51u) << step;
}

// Opening the package costs what its header costs, whatever its size: the
// wizard must not take longer to appear with a large package. So must the
// version check's reading of the installed database.
TEST_F(WizardTest, PackagesAreReadOnlyAsFarAsTheirHeader) {
    const std::string body(3 << 20, 'r');
    Installed("XDB9", 900);
    sys.putFile(kInstalled, db::BuildPackage(provider, sys, "XDB9", 900, body));
    newBytes = db::BuildPackage(provider, sys, "XDB10", 1200, body);
    sys.putFile(kPackage, newBytes);
    wizard.Load(kGrey);
    EXPECT_LT(sys.bytesRead, 64u * 1024);
    Click();
    EXPECT_TRUE((*this)["Command2"].enabled);
    EXPECT_LT(sys.bytesRead, 128u * 1024);
}

TEST_F(WizardTest, MissingPackageEndsWithTheUpperCasedExecutablePath) {
    struct Case {
        std::string folder, title;
        File package;
        bool putPackage;
        std::string shownPath;
    } cases[] = {
        {"C:\\Update", "Atualizador", {}, false, "C:\\UPDATE\\ATUALIZADOR.EXE"},
        {"D:\\", "update", {}, false, "D:\\UPDATE.EXE"},
        {"C:\\Atualização", "Atualizador", With(&File::hidden), true,
         "C:\\ATUALIZAÇÃO\\ATUALIZADOR.EXE"},
        {"C:\\Update", "Atualizador", With(&File::system), true, "C:\\UPDATE\\ATUALIZADOR.EXE"},
    };
    for (const auto& c : cases) {
        fake::FakeSystem s;
        s.exeFolder = c.folder;
        s.exeTitle = c.title;
        if (c.putPackage) s.putFile(c.folder + "\\db.xdb", Package("XDB1", 1), c.package);
        app::Atualizador w(s, s, provider);
        EXPECT_THROW(w.Load(kGrey), ProgramEnded) << c.folder;
        ASSERT_EQ(s.messages.size(), 1u);
        EXPECT_EQ(s.messages[0].title, "Arquivo inexistente");
        EXPECT_EQ(s.messages[0].style, mb::Exclamation | mb::OkOnly);
        EXPECT_EQ(s.messages[0].text,
                  "O atualizador do Varnel não pôde encontrar o arquivo necessário para a "
                  "atualização do banco de dados!\r\n\r\nÉ possível que a atualização já tenha "
                  "sido feita, e então, esse arquivo (" +
                      c.shownPath + ") pode ser removido normalmente.");
    }
}

TEST_F(WizardTest, PackageAtADriveRootIsFound) {
    sys.exeFolder = "D:\\";
    sys.putFile("D:\\db.xdb", Package("XDB7", 3));
    wizard.Load(kGrey);
    EXPECT_EQ((*this)["Versão"].caption, "XDB7");
}

TEST_F(WizardTest, CorruptedPackageEndsTheProgram) {
    sys.putFile(kPackage, "not a database at all");
    EXPECT_THROW(wizard.Load(kGrey), ProgramEnded);
    ASSERT_FALSE(sys.messages.empty());
    EXPECT_EQ(sys.messages.back().title, "Banco de dados corrompido!");
}

// ------------------------------------------------------------ version check

TEST_F(WizardTest, OlderInstalledDatabaseShowsBothSummaries) {
    Installed("XDB9", 900);
    Loaded("XDB10", 1200);
    Click();
    EXPECT_TRUE((*this)["Passo2"].visible);
    EXPECT_FALSE((*this)["Passo1"].visible);
    EXPECT_EQ((*this)["Label4"].caption,
              "Versão instalada: XDB9\r\nNúmero de cadastros: 900\r\n\r\n"
              "Versão atualizada: XDB10\r\nNúmero de cadastros: 1200\r\n\r\n\r\n"
              "Para continuar a atualização clique em \"Prosseguir\".");
    EXPECT_TRUE((*this)["Command2"].enabled);
    EXPECT_EQ((*this)["Command2"].caption, "Prosseguir");
    // The installed file is untouched until the next click.
    EXPECT_TRUE(sys.exists(kPackage));

    Click();
    ExpectInstalled();
    EXPECT_TRUE(sys.messages.empty());
}

// Version texts are the packages' own 8-bit text in the system's code page
// (here the Western one): shown converted, an accented one reads right;
// compared as they are, its three-character prefix stays three characters.
TEST_F(WizardTest, AccentedVersionTextsAreShownConvertedAndComparedAsWritten) {
    Installed(
        "VR\xC7"
        "0041",
        900);
    Loaded(
        "VR\xC7"
        "0042",
        1200);
    EXPECT_EQ((*this)["Versão"].caption, "VRÇ0042");
    Click();
    EXPECT_EQ((*this)["Label4"].caption,
              "Versão instalada: VRÇ0041\r\nNúmero de cadastros: 900\r\n\r\n"
              "Versão atualizada: VRÇ0042\r\nNúmero de cadastros: 1200\r\n\r\n\r\n"
              "Para continuar a atualização clique em \"Prosseguir\".");
    EXPECT_TRUE((*this)["Command2"].enabled);
}

TEST_F(WizardTest, SameOrNewerInstalledDatabaseOnlyLetsTheUserCancel) {
    struct Case {
        const char* installed;
        const char* update;
        const char* caption;
    } cases[] = {
        {"XDB0010", "ABC10",
         "A versão do banco de dados encontrada em seu computador (XDB0010) é a mesma que deveria "
         "ser instalada, e por isso não poderá ser atualizada.\r\n\r\n"
         "Clique em \"Cancelar\" para sair do Atualizador"},
        {"XDB11", "XDB10",
         "A versão do banco de dados encontrada em seu computador (XDB11) é mais recente que a "
         "versão que deveria ser instalada, e por isso não poderá ser atualizada.\r\n\r\n"
         "Clique em \"Cancelar\" para sair do Atualizador"},
    };
    for (const auto& c : cases) {
        fake::FakeSystem s;
        s.setRegistryString(kKey, "DB", kInstalled);
        s.putFile(kInstalled, Package(c.installed, 5));
        s.putFile(kPackage, Package(c.update, 6));
        app::Atualizador w(s, s, provider);
        w.Load(kGrey);
        w.Command2Click();
        EXPECT_EQ(w.form()["Label4"].caption, c.caption);
        EXPECT_FALSE(w.form()["Command2"].enabled);
        EXPECT_TRUE(w.form()["Command1"].enabled);
        EXPECT_TRUE(s.messages.empty());
        EXPECT_TRUE(s.exists(kPackage));
    }
}

TEST_F(WizardTest, NoRegistryValueEndsAfterTheStopMessage) {
    Loaded();
    ClickEnds();
    ASSERT_EQ(sys.messages.size(), 1u);
    EXPECT_EQ(sys.messages[0].title, "Banco de Dados não encontrado!");
    EXPECT_EQ(sys.messages[0].text,
              "Nenhuma versão anterior do banco de dados foi encontrada.\r\n\r\n"
              "A atualização será cancelada!");
    EXPECT_EQ(sys.messages[0].style, mb::Critical | mb::OkOnly);
    EXPECT_TRUE(sys.exists(kPackage));
}

TEST_F(WizardTest, UnreadableVersionOrMissingFileAsksToReinstall) {
    const char* const question =
        "O banco de dados do Varnel não foi encontrado. É possível que ele tenha sido "
        "acidentalmente apagado, ou devido à algum arquivo maléfico.\r\n\r\n"
        "Deseja que o atualizador instale o banco de dados novamente?";
    // No: the program ends and nothing changes.
    for (const char* installed : {"XDB32768", "XDBabc", "", "hidden"}) {
        fake::FakeSystem s;
        s.setRegistryString(kKey, "DB", kInstalled);
        if (std::string(installed) == "hidden")
            s.putFile(kInstalled, Package("XDB1", 1), With(&File::hidden));
        else if (*installed)
            s.putFile(kInstalled, Package(installed, 1));
        s.putFile(kPackage, Package("XDB10", 2));
        app::Atualizador w(s, s, provider);
        w.Load(kGrey);
        s.answer(platform::No);
        EXPECT_THROW(w.Command2Click(), ProgramEnded) << installed;
        ASSERT_EQ(s.messages.size(), 1u) << installed;
        EXPECT_EQ(s.messages[0].title, "Banco de dados inexistente");
        EXPECT_EQ(s.messages[0].text, question);
        EXPECT_EQ(s.messages[0].style, mb::Question | mb::YesNo);
        EXPECT_TRUE(s.exists(kPackage));
    }
    // The new database's version out of range leads there too.
    Installed("XDB1");
    Loaded("XDB40000");
    sys.answer(platform::No);
    ClickEnds();
    EXPECT_EQ(sys.messages.at(0).title, "Banco de dados inexistente");
}

TEST_F(WizardTest, ReinstallYesInstallsWithoutAnotherClick) {
    sys.setRegistryString(kKey, "DB", kInstalled);
    sys.putFolder("C:\\Program Files\\Holmcrest\\Varnel R40");
    Loaded();
    sys.answer(platform::Yes);
    Click();
    ExpectInstalled();
    EXPECT_EQ(sys.messages.size(), 1u);
    // The next click finishes the update.
    sys.putFile("C:\\Update\\Atualizador.exe", "MZ");
    ClickEnds();
    EXPECT_FALSE(sys.started.empty());
}

TEST_F(WizardTest, CorruptedInstalledDatabaseEndsTheProgram) {
    sys.setRegistryString(kKey, "DB", kInstalled);
    sys.putFile(kInstalled, "garbage");
    Loaded();
    ClickEnds();
    ASSERT_EQ(sys.messages.size(), 1u);
    EXPECT_EQ(sys.messages[0].title, "Banco de dados corrompido!");
    EXPECT_TRUE(sys.exists(kPackage));
}

// ------------------------------------------------------------ installation

class InstallTest : public WizardTest {
  protected:
    // On the version check's summary, ready to install.
    void SetUp() override {
        Installed("XDB9", 900);
        Loaded("XDB10", 1200);
        Click();
        ASSERT_TRUE((*this)["Command2"].enabled);
        oldBytes = sys.contents(kInstalled);
    }
    void Lock(bool locked) {
        sys.putFile(kInstalled, sys.contents(kInstalled), With(&File::locked, locked));
    }
    std::string oldBytes;
};

// While the product holds its database the user is asked, and the
// database stays whole: Retry while held asks again, Retry once released
// installs; Cancel ends with both files as they were and no staged copy.
TEST_F(InstallTest, LockedDatabaseAsksAndIsNeverMissingMeanwhile) {
    Lock(true);
    int boxes = 0;
    sys.onMessage = [&](const fake::Message&) {
        EXPECT_EQ(sys.contents(kInstalled), oldBytes);
        EXPECT_TRUE(sys.exists(kPackage));
        if (++boxes == 2) Lock(false);
    };
    sys.answer(platform::Retry);
    sys.answer(platform::Retry);
    Click();
    ASSERT_EQ(sys.messages.size(), 2u);
    for (const auto& m : sys.messages) {
        EXPECT_EQ(m.title, "Erro no acesso do banco de dados");
        EXPECT_EQ(m.text, kAccessError);
        EXPECT_EQ(m.style, mb::Critical | mb::RetryCancel);
    }
    ExpectInstalled();
}

TEST_F(InstallTest, CancelWhileLockedLeavesBothFilesAndNoStagedCopy) {
    Lock(true);
    sys.answer(platform::Cancel);
    ClickEnds();
    EXPECT_EQ(sys.contents(kInstalled), oldBytes);
    EXPECT_EQ(sys.contents(kPackage), newBytes);
    EXPECT_FALSE(sys.anyStaged());
}

TEST_F(InstallTest, RetryReadsTheRegistryAgain) {
    Lock(true);
    const std::string elsewhere = "D:\\Varnel\\db.xdb";
    sys.putFolder("D:\\Varnel");
    sys.onMessage = [&](const fake::Message&) { sys.setRegistryString(kKey, "DB", elsewhere); };
    sys.answer(platform::Retry);
    Click();
    EXPECT_EQ(sys.contents(elsewhere), newBytes);
    EXPECT_EQ(sys.contents(kInstalled), oldBytes);  // the old path is left alone
    EXPECT_FALSE(sys.exists(kPackage));
}

// A full disk: reported, never as success; nothing changes, nothing
// half-written is left; Retry once there is room runs the step anew.
TEST_F(InstallTest, FullDiskKeepsEverythingAsItWasUntilRetried) {
    sys.diskSpace = newBytes.size() - 1;
    sys.answer(platform::Cancel);
    ClickEnds();
    ASSERT_EQ(sys.messages.size(), 1u);
    EXPECT_EQ(sys.messages[0].title, "Erro no acesso do banco de dados");
    EXPECT_EQ(sys.messages[0].style, mb::Critical | mb::RetryCancel);
    EXPECT_EQ(sys.messages[0].text,
              "Não foi possível instalar o novo banco de dados em " + std::string(kInstalled) +
                  ": não há espaço suficiente no disco (erro 112).\r\n"
                  "O arquivo de atualização (db.xdb) foi mantido.\r\n\r\n"
                  "Verifique se a pasta existe e se há espaço em disco, e clique em Repetir.");
    EXPECT_EQ(sys.contents(kInstalled), oldBytes);
    EXPECT_EQ(sys.contents(kPackage), newBytes);
    EXPECT_FALSE(sys.anyStaged());
    EXPECT_NE((*this)["Command2"].caption, "Finalizar");

    sys.onMessage = [&](const fake::Message&) { sys.diskSpace = ~0ull; };
    sys.answer(platform::Retry);
    wizard.InstalarDb();
    EXPECT_EQ(sys.messages.size(), 2u);
    ExpectInstalled();
}

TEST_F(InstallTest, MissingFolderOrEmptyPathKeepsThePackage) {
    for (const std::string& path : {std::string("Q:\\Nowhere\\db.xdb"), std::string()}) {
        sys.setRegistryString(kKey, "DB", path);
        sys.messages.clear();
        sys.answer(platform::Cancel);
        EXPECT_THROW(wizard.InstalarDb(), ProgramEnded) << path;
        ASSERT_EQ(sys.messages.size(), 1u);
        EXPECT_EQ(sys.messages[0].style, mb::Critical | mb::RetryCancel);
        EXPECT_EQ(sys.contents(kPackage), newBytes);
    }
}

TEST_F(InstallTest, NamesTakenBesideTheDatabaseAreLeftAlone) {
    // Someone else's file, or one left by an older updater, at the first
    // staging name: not ours to delete or overwrite.
    const std::string taken = std::string(kInstalled) + ".novo";
    sys.putFile(taken, "not the updater's");
    Click();
    ExpectInstalled();
    EXPECT_EQ(sys.contents(taken), "not the updater's");
    EXPECT_FALSE(sys.exists(taken + "1"));
}

// Another program puts a different package at db.xdb between the version
// check and the installation (or the package is renamed away and back):
// what is installed is what was checked.
TEST_F(InstallTest, InstallsTheBytesCheckedNotWhatIsAtThePackagePathNow) {
    EXPECT_EQ(sys.file(kPackage)->holds, 1) << "the package must be held from the load step";
    sys.putFile(kPackage, Package("XDB99", 1));
    Click();
    EXPECT_EQ(sys.contents(kInstalled), newBytes);
}

TEST_F(WizardTest, ReadOnlyPackageAndDatabaseAreReplacedAndRemovedLikeAnyOther) {
    Installed("XDB9", 900, With(&File::readOnly));
    newBytes = Package("XDB10", 1200);
    sys.putFile(kPackage, newBytes, With(&File::readOnly));
    wizard.Load(kGrey);
    Click();
    Click();
    ExpectInstalled();
    EXPECT_FALSE(sys.file(kInstalled)->readOnly);
    EXPECT_TRUE(sys.messages.empty());
}

// On read-only media the package cannot go. The new database is in place by
// then: the user is told, Retry tries the removal only, Cancel keeps the
// package, and the wizard goes on to "Finalizar" either way.
TEST_F(InstallTest, PackageThatCannotBeRemovedIsKeptWithoutInstallingAgain) {
    sys.putFile(kPackage, newBytes, With(&File::readOnlyMedia));
    // Loaded again on a package that is on read-only media.
    app::Atualizador onDisc{sys, sys, provider};
    onDisc.Load(kGrey);
    onDisc.Command2Click();
    sys.answer(platform::Retry);
    sys.answer(platform::Cancel);
    onDisc.Command2Click();

    ASSERT_EQ(sys.messages.size(), 2u);
    for (const auto& m : sys.messages) {
        EXPECT_EQ(m.title, "Erro ao remover o arquivo de atualização");
        EXPECT_EQ(m.style, mb::Critical | mb::RetryCancel);
        EXPECT_NE(m.text.find("(erro 19)"), std::string::npos);
    }
    EXPECT_EQ(sys.copiesMade, 1);
    EXPECT_EQ(sys.replacements, 1);
    EXPECT_EQ(sys.contents(kInstalled), newBytes);
    EXPECT_EQ(sys.contents(kPackage), newBytes);
    EXPECT_EQ(onDisc.form()["Label1"].caption, kSuccess);
    EXPECT_EQ(onDisc.form()["Command2"].caption, "Finalizar");
}

TEST_F(InstallTest, ASecondFinalizarWhileTheFirstIsHandledDoesNothing) {
    Click();
    ExpectInstalled();
    int reentered = 0;
    sys.onPendingEvents = [&] {
        if (reentered++ == 0) wizard.Command2Click();
    };
    ClickEnds();
    EXPECT_EQ(reentered, 1);
    EXPECT_EQ(sys.copiesMade, 2);       // the database, then one copy of the updater
    ASSERT_EQ(sys.started.size(), 2u);  // the remover and the cleanup copy, once each
}

// ------------------------------------------------------------ the window's own

TEST_F(WizardTest, CancelAsksForConfirmation) {
    Loaded();
    sys.answer(platform::No);
    wizard.Command1Click();
    ASSERT_EQ(sys.messages.size(), 1u);
    EXPECT_EQ(sys.messages[0].title, "Confirmação");
    EXPECT_EQ(sys.messages[0].text,
              "Você tem certeza de que quer cancelar a atualização do banco de dados do Varnel?");
    EXPECT_EQ(sys.messages[0].style, mb::Question | mb::YesNo);
    EXPECT_TRUE((*this)["Passo1"].visible);

    sys.answer(platform::Yes);
    EXPECT_THROW(wizard.Command1Click(), ProgramEnded);
    EXPECT_TRUE(sys.exists(kPackage));
}

TEST_F(WizardTest, HoverHintsFollowTheButtonCaption) {
    Loaded();
    struct Step {
        const char* control;
        const char* status;
    } steps[] = {
        {"Command1", "Fecha o atualizador"},
        {"Passo1", "Fecha o atualizador"},
        {"Command2", "Atualiza o banco de dados"},
        {"Label5", "Atualiza o banco de dados"},
        {"Picture2", ""},
        {"Command2", "Atualiza o banco de dados"},
        {"Label6", ""},
        {"Command1", "Fecha o atualizador"},
        {"Atualizador", ""},
    };
    for (const auto& s : steps) {
        wizard.MouseMove(s.control);
        EXPECT_EQ((*this)["status"].caption, s.status) << s.control;
    }
    wizard.form().setCaption("Command2", "Finalizar");
    wizard.MouseMove("Command2");
    EXPECT_EQ((*this)["status"].caption, "Finaliza a atualização");
    wizard.form().setCaption("Command2", "finalizar");
    wizard.MouseMove("Command2");
    EXPECT_EQ((*this)["status"].caption, "Atualiza o banco de dados");
}

}  // namespace

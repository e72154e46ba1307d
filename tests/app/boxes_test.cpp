// Every message box the wizard shows, each reached by its own road: title,
// icon and buttons as the system's style value, the composed texts word for
// word as the user reads them, and what the road leaves on disk. A box that
// asks is left without an answer (0, a box the system could not show),
// which no road may take for a yes.
#include "WizardRoad.h"
#include "app/AtualizadorTexts.h"
#include "app/Fatal.h"
#include "app/Unattended.h"

namespace {

using namespace road;

// What a road leaves on disk, besides no staged copy.
enum Files { Kept, Installed, InstalledPackageKept };

struct Box {
    const char* road;
    void (*drive)(Road&);  // the road to the box
    const char* title;
    int style;
    const char* text;  // a composed text, or one a fault changes; else nullptr
    bool ends;
    Files files = Kept;
    std::size_t shown = 1;  // this box first
};

// clang-format off
const Box kBoxes[] = {
    {"Cancelar", [](Road& r) { r.load(); r.sys.answer(0); r.wizard().Command1Click(); },
     "Confirmação", 36, nullptr, false},
    // Upper case as the Western code page has it: š œ ž ÿ too, ÷ no letter.
    {"no db.xdb", [](Road& r) { r.sys.exeFolder = "C:\\Atualização šœžÿ ÷"; r.load(); },
     "Arquivo inexistente", 48,
     "O atualizador do Varnel não pôde encontrar o arquivo necessário para a atualização do banco "
     "de dados!\r\n\r\nÉ possível que a atualização já tenha sido feita, e então, esse arquivo "
     "(C:\\ATUALIZAÇÃO ŠŒŽŸ ÷\\ATUALIZADOR.EXE) pode ser removido normalmente.", true},
    {"corrupted db.xdb", [](Road& r) { r.sys.putFile(kPackage, "junk"); r.load(); },
     "Banco de dados corrompido!", 16,
     "O banco de dados do Varnel foi aparentemente violado, ou corrompido!\r\nO processo de busca "
     "será finalizado.\r\n\r\nAdquira o banco de dados novamente acessando a página do Varnel: "
     "http://www.varnel.com.br", true},
    {"no DB value", [](Road& r) { r.load(); r.next(); },
     "Banco de Dados não encontrado!", 16, nullptr, true},
    {"DB names no file", [](Road& r) { r.registered(); r.load(); r.nextUnanswered(); },
     "Banco de dados inexistente", 36, nullptr, true},
    {"installed database held by the product",
     [](Road& r) { r.installed(With(&File::locked)); r.load(); r.next(); r.nextUnanswered(); },
     "Erro no acesso do banco de dados", 21,
     "Houve um erro ao tentar remover/atualizar o banco de dados!\r\nVerifique se o Varnel não o "
     "está utilizando-o no Removedor (Comum ou Individual).\r\n\r\nFeche toda janela que pertence "
     "ao Varnel e clique em Repetir.", true},
    {"disk full",
     [](Road& r) { r.installed(); r.load(); r.next(); r.sys.diskSpace = 1; r.nextUnanswered(); },
     "Erro no acesso do banco de dados", 21,
     "Não foi possível instalar o novo banco de dados em C:\\Varnel\\db.xdb: não há espaço "
     "suficiente no disco (erro 112).\r\nO arquivo de atualização (db.xdb) foi mantido.\r\n\r\n"
     "Verifique se a pasta existe e se há espaço em disco, e clique em Repetir.", true},
    // Retry tries the removal again, and only it; no answer keeps the package.
    {"package on read-only media: the removal not retried, or the copy made again",
     [](Road& r) {
         r.installed(); r.load(With(&File::readOnlyMedia)); r.next();
         r.sys.answer(platform::Retry); r.nextUnanswered();
         EXPECT_EQ(r.sys.copiesMade, 1);
         EXPECT_EQ(r.at("Command2").caption, "Finalizar"); },
     "Erro ao remover o arquivo de atualização", 21,
     "O novo banco de dados foi instalado, mas o arquivo de atualização (C:\\Update\\db.xdb) não "
     "pôde ser removido: a mídia está protegida contra gravação (erro 19).\r\n\r\nSe ele estiver "
     "em uma mídia somente leitura, clique em Cancelar para mantê-lo; caso contrário, clique em "
     "Repetir.", false, InstalledPackageKept, 2},
    {"a package of the release's size but other bytes installed",
     [](Road& r) {
         r.sys.seal = r.sealOf(r.package("XDB11")); r.installed(); r.load(); r.next(); r.next(); },
     "Erro no arquivo de atualização", 16, nullptr, true},
    // Reported by the top-level handler, under the application's title, once
    // the remover has started, as when the copy cannot be made.
    {"Finalizar, the executable not held", [](Road& r) {
         std::uint32_t error = 0;
         r.sys.putFile("C:\\Update\\Atualizador.exe", "MZ");
         const auto other = r.sys.holdFile("C:\\Update\\Atualizador.exe", error);
         r.installed(); r.load(); r.next(); r.next();
         r.sys.onMessage = [&r](const fake::Message&) {
             ASSERT_EQ(r.sys.started.size(), 1u);
             EXPECT_EQ(r.sys.started[0], "\"C:\\Varnel\\removedor.exe\" /!");
         };
         r.next(); },
     "", 16,
     "Ocorreu um erro inesperado e o atualizador será encerrado.\r\n\r\nNão foi possível abrir o "
     "executável do atualizador: o arquivo está sendo usado por outro programa (erro 32)", true,
     Installed},
    {"a package of another size than the release's read", [](Road& r) {
         r.sys.seal = r.sealOf(r.package("XDB10")); r.installed(); r.load({}, "XDB100"); },
     "Banco de dados corrompido!", 16, nullptr, true},
    {"the hash of a copy tried again not started afresh", [](Road& r) {
         r.sys.seal = r.sealOf(r.package("XDB10")); r.installed(); r.load(); r.next();
         r.sys.diskSpace = 10;
         r.sys.answer(platform::Retry);
         r.sys.onMessage = [&r](const fake::Message&) { r.sys.diskSpace = ~0ull; };
         r.next(); },
     "Erro no acesso do banco de dados", 21, nullptr, false, Installed},
};
// clang-format on

TEST(Boxes, EveryBoxWordForWordAndNoAnswerIsNeverAYes) {
    for (const Box& box : kBoxes) {
        SCOPED_TRACE(box.road);
        Road r;
        try {
            try {
                box.drive(r);
            } catch (const std::exception&) {
                app::ReportFatal(r.sys, std::current_exception());  // the top-level handler
            }
        } catch (const fake::ProgramEnded&) {
        }
        EXPECT_EQ(r.sys.ended, box.ends);
        EXPECT_EQ(r.sys.contents(kInstalled), box.files == Kept ? r.oldBytes : r.newBytes);
        EXPECT_EQ(r.sys.contents(kPackage), box.files == Installed ? "" : r.newBytes);
        EXPECT_FALSE(r.sys.anyStaged());
        ASSERT_EQ(r.sys.messages.size(), box.shown);
        const fake::Message& shown = r.sys.messages.front();
        EXPECT_EQ(shown.title, box.title);
        EXPECT_EQ(shown.style, box.style);
        if (box.text) {
            EXPECT_EQ(shown.text, box.text);
        }
    }
}

// The unattended mode answers the same questions itself, over the same
// roads; under Wine every exit code is seen, not these answers.
struct Exited {};

struct Host final : platform::UnattendedHost {
    void log(std::string_view line) noexcept override { text += std::string(line) + '\n'; }
    std::uint64_t milliseconds() override { return now; }
    void sleep(std::uint32_t ms) override {
        EXPECT_TRUE(ms == 500 && now < 60000);  // every half second, for a minute
        now += ms;
    }
    [[noreturn]] void exit(int) override { throw Exited{}; }
    std::string text;
    std::uint64_t now = 0;
};

// Faults: the reinstall question answered No, a database in use waited for
// half a second too long, an outcome ending with another's code.
TEST(Unattended, EveryOutcomeHasItsCodeItsFilesAndItsLogAndNoBox) {
    const struct {
        const char* name;
        void (*set)(Road&);
        int code;
        bool installed, packageKept;  // else the old database, and the package gone
        const char* logged;
    } cases[] = {
        {"reinstalled", [](Road& r) { r.registered(); }, 0, true, false, "inexistente"},
        {"in use for a minute", [](Road& r) { r.installed(With(&File::locked)); }, 1618, false,
         true, "Feche toda janela"},
        {"no package", [](Road& r) { r.sys.files_.erase(kPackage); }, 2, false, false,
         "Arquivo inexistente: "},
        {"corrupted package",
         [](Road& r) {
             r.installed();
             r.sys.putFile(kPackage, "junk");
         },
         3, false, true, "Banco de dados corrompido!: "},
        {"not installed", [](Road&) {}, 4, false, true, "Banco de Dados não encontrado!: "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Road r;
        Host host;
        r.sys.putFolder("C:\\Varnel");
        r.sys.putFile(kPackage, r.package("XDB10"));
        c.set(r);
        const std::string newBytes = r.sys.contents(kPackage);
        const std::string before = r.sys.contents(kInstalled);
        r.sys.messages.clear();
        app::UnattendedAnswers answers(host);
        EXPECT_THROW(app::RunUnattended(r.sys, answers, r.provider, false), Exited);
        EXPECT_NE(host.text.find(c.logged), std::string::npos) << host.text;
        EXPECT_TRUE(host.text.ends_with("Código de saída: " + std::to_string(c.code) + '\n'));
        EXPECT_EQ(r.sys.contents(kInstalled), c.installed ? newBytes : before);
        EXPECT_EQ(r.sys.exists(kPackage), c.packageKept);
        EXPECT_FALSE(r.sys.anyStaged());
        // Nothing shown, started, registered or restarted.
        EXPECT_TRUE(r.sys.messages.empty() && r.sys.started.empty() &&
                    r.sys.rebootDeletes.empty() && r.sys.reboots == 0);
    }
}

}  // namespace

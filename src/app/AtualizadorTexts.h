#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Every caption and message of the wizard window, in one place. Line breaks
// are CR LF.
namespace app::atualizador_texts {

// Captions at rest.
inline constexpr std::string_view kTitle = "Varnel 2001 - Release 40 - Atualizador";
inline constexpr std::string_view kHeading = "Atualizador";
inline constexpr std::string_view kDescription =
    "Esse programa tem a função de atualizar o banco de dados do Varnel.";
inline constexpr std::string_view kWelcome =
    "Devido às mudanças feitas desde a última versão do Varnel, agora é possível atualizar seu "
    "banco de dados facilmente, tornando o funcionamento do programa mais eficaz.";
inline constexpr std::string_view kProceedHint =
    "Ao clicar em \"Prosseguir\", a versão de seu banco de dados será verificada, e avisará se é "
    "necessária a atualização.";
inline constexpr std::string_view kChecking = "Verificando versão atual. Aguarde...";
inline constexpr std::string_view kInstalling = "Atualizando...";
inline constexpr std::string_view kShowInfo = "Visualizar informações do novo Banco de Dados";
inline constexpr std::string_view kCancel = "Cancelar";
inline constexpr std::string_view kProceed = "Prosseguir";
inline constexpr std::string_view kFinish = "Finalizar";

// Hints in the status line.
inline constexpr std::string_view kHintClose = "Fecha o atualizador";
inline constexpr std::string_view kHintFinish = "Finaliza a atualização";
inline constexpr std::string_view kHintUpdate = "Atualiza o banco de dados";

// Cancel confirmation.
inline constexpr std::string_view kConfirmTitle = "Confirmação";
inline constexpr std::string_view kConfirmText =
    "Você tem certeza de que quer cancelar a atualização do banco de dados do Varnel?";

// Missing update package; the executable's path is upper case.
inline constexpr std::string_view kMissingPackageTitle = "Arquivo inexistente";
std::string MissingPackageText(std::string_view executablePath);

// Version check.
inline constexpr std::string_view kNoInstalledTitle = "Banco de Dados não encontrado!";
inline constexpr std::string_view kNoInstalledText =
    "Nenhuma versão anterior do banco de dados foi encontrada.\r\n\r\n"
    "A atualização será cancelada!";
inline constexpr std::string_view kReinstallTitle = "Banco de dados inexistente";
inline constexpr std::string_view kReinstallText =
    "O banco de dados do Varnel não foi encontrado. É possível que ele tenha sido acidentalmente "
    "apagado, ou devido à algum arquivo maléfico.\r\n\r\n"
    "Deseja que o atualizador instale o banco de dados novamente?";
std::string SummaryText(std::string_view installedVersion, std::int16_t installedRecords,
                        std::string_view newVersion, std::string_view newRecords);
std::string SameVersionText(std::string_view installedVersion);
std::string NewerVersionText(std::string_view installedVersion);

// Installation.
inline constexpr std::string_view kAccessErrorTitle = "Erro no acesso do banco de dados";
inline constexpr std::string_view kAccessErrorText =
    "Houve um erro ao tentar remover/atualizar o banco de dados!\r\n"
    "Verifique se o Varnel não o está utilizando-o no Removedor (Comum ou Individual).\r\n\r\n"
    "Feche toda janela que pertence ao Varnel e clique em Repetir.";
inline constexpr std::string_view kInstalled =
    "O Banco de Dados foi atualizado com sucesso!\r\n\r\n"
    "Clique em \"Finalizar\" para concluir a atualização.";
// The new database could not be written beside the installed one; nothing
// has changed. `error` is the system's code.
std::string CopyFailedText(std::string_view installedPath, std::uint32_t error);
// The new database is in place, but the update package could not be
// removed (read-only media, say); Retry tries the removal again, Cancel
// keeps the package.
inline constexpr std::string_view kPackageKeptTitle = "Erro ao remover o arquivo de atualização";
std::string PackageKeptText(std::string_view packagePath, std::uint32_t error);

// The new database is being written beside the installed one; shown in the
// status line while the copy goes on.
std::string CopyProgressText(std::uint64_t copied, std::uint64_t total);
// A release's package that is not the one it shipped with: nothing was
// installed.
inline constexpr std::string_view kPackageMismatchTitle = "Erro no arquivo de atualização";
inline constexpr std::string_view kPackageMismatchText =
    "O arquivo de atualização (db.xdb) não corresponde a este atualizador: ele foi alterado ou "
    "substituído depois que a atualização foi publicada.\r\n\r\n"
    "Nada foi instalado, e o banco de dados do Varnel continua como estava. Obtenha a "
    "atualização novamente.";

// On "Finalizar", the updater's file is no longer the program that runs:
// nothing was copied or started, and the installation stays done.
inline constexpr std::string_view kUpdaterChangedTitle = "Erro ao finalizar a atualização";
inline constexpr std::string_view kUpdaterChangedText =
    "O arquivo do atualizador foi alterado enquanto ele era executado. O banco de dados já foi "
    "atualizado, mas os arquivos do atualizador não serão removidos automaticamente: "
    "remova-os manualmente.";

// An error that no handler expected, reported before the program ends.
std::string UnexpectedErrorText(std::string_view what);

}  // namespace app::atualizador_texts
